#pragma once

#include "FakeTypeLibrary.h"
#include "TypeMapping.h"

namespace mivra::test {

// A small library with one object class exposing two dual interfaces (one
// derived from the other), an event interface and a second class; the
// golden files of the whole run are made from it.
inline FakeTypeLibrary demoLibrary() {
    FakeTypeLibrary lib;
    lib.libraryDocumentation = {std::string("DemoLib"), std::string("Demo <library> & friends")};
    uint32_t iFoo = lib.addInterface("IFoo", guid(1), true, std::string("Foo things"));
    lib.addFunction(iFoo, 0x60000000, 1, {"QueryInterface", "riid", "ppv"}, {pointerTo(VT_VARIANT), type(VT_I4)},
                    type(VT_EMPTY));
    lib.addFunction(iFoo, 100, 1, {"Navigate", "URL", "Flags"}, {type(VT_BSTR), pointerTo(VT_VARIANT)},
                    type(VT_EMPTY), 1, std::string("Goes to a */ page"));
    lib.addFunction(iFoo, 101, 2, {"Visible"}, {}, type(VT_BOOL));
    lib.addFunction(iFoo, 101, 4, {"Visible", "Value"}, {type(VT_BOOL)}, type(VT_VOID));
    lib.addFunction(iFoo, 102, 2, {"Document"}, {}, type(VT_DISPATCH));
    lib.addFunction(iFoo, -4, 1, {"_NewEnum"}, {}, type(VT_UNKNOWN));
    lib.addFunction(iFoo, 103, 1, {"toString"}, {}, type(VT_BSTR));
    uint32_t iBar = lib.addInterface("IBar", guid(2), true);
    lib.types[iBar].implemented = {iFoo};
    lib.types[iBar].attributes.implTypeCount = 1;
    lib.addFunction(iBar, 200, 1, {"Count", "value", "Value"}, {pointerTo(VT_I4), type(VT_R8)}, type(VT_I4));
    lib.addFunction(iBar, 201, 1, {"Item", "Index"}, {type(VT_VARIANT)}, type(VT_VARIANT));
    lib.addFunction(iBar, 202, 1, {"Flag", "On"}, {pointerTo(VT_BOOL)}, pointerTo(VT_BSTR));
    uint32_t events = lib.addInterface("DEvents", guid(3), false);
    lib.addFunction(events, 1, 1, {"Done", "Code"}, {type(VT_I2)}, type(VT_VOID));
    lib.addCoclass("Foo", guid(10), {iBar, events, iFoo}, std::string("The Foo object"));
    lib.addCoclass("Plain", guid(11), {events});
    return lib;
}

}  // namespace mivra::test
