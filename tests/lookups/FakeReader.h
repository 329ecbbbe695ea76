#pragma once

#include <fstream>
#include <sstream>

#include "TypeLibraryReader.h"

// A reader that takes a file holding "name" or "name|doc string" as a type
// library with that documentation; any other file fails to load.
class FakeReader final : public mivra::TypeLibraryReader {
public:
    mivra::Result<bool> load(const std::string& fullPath) override {
        std::ifstream in(fullPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string content = text.str();
        if (!in || content.rfind("LIB:", 0) != 0) return mivra::fail("not a type library");
        content.erase(0, 4);
        size_t bar = content.find('|');
        documentation_.name = content.substr(0, bar);
        if (bar != std::string::npos) documentation_.docString = content.substr(bar + 1);
        loaded_ = true;
        return true;
    }
    uint32_t typeInfoCount() const override { return 0; }
    mivra::Result<mivra::TypeAttributes> typeAttributes(uint32_t) const override { return mivra::fail("none"); }
    mivra::Result<mivra::ImplementedType> implementedType(uint32_t, uint32_t) const override {
        return mivra::fail("none");
    }
    mivra::Result<mivra::Documentation> documentation(int32_t index) const override {
        if (!loaded_ || index != -1) return mivra::fail("none");
        return documentation_;
    }
    mivra::Result<mivra::FunctionDescription> function(uint32_t, uint32_t) const override {
        return mivra::fail("none");
    }
    mivra::Result<std::vector<std::string>> names(uint32_t, int32_t, uint32_t) const override {
        return mivra::fail("none");
    }
    std::optional<std::string> memberDocString(uint32_t, int32_t) const override { return std::nullopt; }
    void release() override { loaded_ = false; }

private:
    mivra::Documentation documentation_;
    bool loaded_ = false;
};
