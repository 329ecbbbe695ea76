#include "FileSystem.h"

#include <cstring>

namespace mivra {

NewFile::~NewFile() { close(); }

NewFile::int_type NewFile::overflow(int_type c) {
    if (!flushBuffer()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize NewFile::xsputn(const char* data, std::streamsize size) {
    std::streamsize done = 0;
    while (done < size) {
        if (pptr() == epptr() && !flushBuffer()) return done;
        const std::streamsize room = epptr() - pptr();
        const std::streamsize piece = size - done < room ? size - done : room;
        std::memcpy(pptr(), data + done, static_cast<std::size_t>(piece));
        pbump(static_cast<int>(piece));
        done += piece;
    }
    return done;
}

int NewFile::sync() { return flushBuffer() ? 0 : -1; }

}  // namespace mivra
