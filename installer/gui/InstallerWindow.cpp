#include "InstallerWindow.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QStyle>

#include "InstallerTexts.h"

namespace mivra::installer {

InstallerWindow::InstallerWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(texts::mainWindowTitle);
    setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void InstallerWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // One-pixel lines from top to bottom, darkening every other row; a
    // palette display gets one flat colour.
    const bool palette = depth() <= 8;
    int red = palette ? 100 : 150, green = palette ? 110 : 160, blue = palette ? 200 : 254;
    for (int row = 0; row < height(); ++row) {
        painter.setPen(QColor(red, green, blue));
        painter.drawLine(0, row, width() - 1, row);
        if (!palette && row % 2 == 0 && red > 10 && green > 10 && blue > 10) {
            --red;
            --green;
            if (row % 4 == 0) --blue;
        }
    }

    QFont font = painter.font();
    font.setPixelSize(16 * logicalDpiY() / 72);
    font.setWeight(QFont::Black);
    font.setItalic(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(10, 10, width() - 10, height() - 10), Qt::AlignLeft | Qt::AlignTop,
                     texts::mainWindowTitle);
}

}  // namespace mivra::installer
