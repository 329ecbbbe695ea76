import natural.xml.*;

/** Builds a document, queries it with XPath and transforms it with XSLT. */
public class XmlDom {
    public static void main(String[] args) {
        try (DOMDocument60 doc = new DOMDocument60()) {
            doc.setAsync(false);
            if (!doc.loadXML("<books><book id='b1'><title>Dune</title></book></books>"))
                throw new IllegalStateException(doc.getParseError().getReason());
            doc.setProperty("SelectionLanguage", "XPath");

            IXMLDOMElement book = doc.createElement("book");
            book.setAttribute("id", "b2");
            IXMLDOMElement title = doc.createElement("title");
            title.setText("Emma");
            book.appendChild(title);
            doc.getDocumentElement().appendChild(book);

            for (IXMLDOMNode node : doc.selectNodes("/books/book")) {
                IXMLDOMElement element = (IXMLDOMElement) node;
                System.out.println(element.getAttribute("id").asString() + ": "
                        + element.selectSingleNode("title").getText());
            }

            try (DOMDocument60 style = new DOMDocument60()) {
                style.loadXML("<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                        + "<xsl:output method='text'/><xsl:template match='/'>"
                        + "<xsl:value-of select='count(//book)'/></xsl:template></xsl:stylesheet>");
                System.out.println("books: " + doc.transformNode(style));
            }
        }
    }
}
