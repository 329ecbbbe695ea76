#include "StandardOleLibrary.h"

#include <string_view>

#include "ByteReader.h"

namespace mivra {

namespace {

// What OLE Automation reports for the types of stdole2.tlb (version 2.0),
// in its index order, so that references by index into it resolve as they
// would against the real file. Variables are counted but not described.
struct BuiltinType {
    uint32_t kind;
    const char* name;
    Guid guid;
    uint16_t flags;
    uint16_t implTypeCount;
    uint16_t funcCount;
    uint16_t varCount;
    int32_t base;  // index of the base interface, -1 none
    const char* docString;
    std::vector<std::pair<int32_t, int32_t>> classInterfaces;  // index, implementation flags
};

// Stored functions; types written as the raw dump writes them ("ptr(8)"),
// a user-defined type as "29:N" with N the index of the type referred to;
// parameters as "type name flags" or "type name flags=VT:VALUE" (a default
// value) separated by "|".
struct BuiltinFunction {
    uint32_t typeIndex;
    int32_t memberId;
    uint32_t funcKind;
    uint32_t invokeKind;
    int16_t optionalParamCount;
    const char* result;
    const char* name;
    const char* params;
    const char* docString;
};

const BuiltinType builtinTypes[] = {
    {1, "GUID", {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, 0x0, 0, 0, 4, -1, nullptr, {}},
    {1, "DISPPARAMS", {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, 0x0, 0, 0, 4, -1, nullptr, {}},
    {1, "EXCEPINFO", {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, 0x0, 0, 0, 9, -1, nullptr, {}},
    {3, "IUnknown", {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}, 0x10, 0, 3, 0, -1, nullptr, {}},
    {3, "IDispatch", {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}, 0x200, 1, 4, 0, 3, nullptr, {}},
    {3, "IEnumVARIANT", {0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}, 0x10, 1, 4, 0, 3, nullptr, {}},
    {6, "OLE_COLOR", {0x66504301, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_XPOS_PIXELS", {0x66504302, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_YPOS_PIXELS", {0x66504303, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_XSIZE_PIXELS", {0x66504304, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_YSIZE_PIXELS", {0x66504305, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_XPOS_HIMETRIC", {0x66504306, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_YPOS_HIMETRIC", {0x66504307, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_XSIZE_HIMETRIC", {0x66504308, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_YSIZE_HIMETRIC", {0x66504309, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_XPOS_CONTAINER", {0xBF030640, 0x9069, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_YPOS_CONTAINER", {0xBF030641, 0x9069, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_XSIZE_CONTAINER", {0xBF030642, 0x9069, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_YSIZE_CONTAINER", {0xBF030643, 0x9069, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_HANDLE", {0x66504313, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_OPTEXCLUSIVE", {0x6650430B, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_CANCELBOOL", {0xBF030644, 0x9069, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "OLE_ENABLEDEFAULTBOOL", {0xBF030645, 0x9069, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {0, "OLE_TRISTATE", {0x6650430A, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 3, -1, nullptr, {}},
    {6, "FONTNAME", {0x6650430D, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "FONTSIZE", {0x6650430E, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "FONTBOLD", {0x6650430F, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "FONTITALIC", {0x66504310, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "FONTUNDERSCORE", {0x66504311, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {6, "FONTSTRIKETHROUGH", {0x66504312, 0xBE0F, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {3, "IFont", {0xBEF6E002, 0xA874, 0x101A, {0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x10, 1, 22, 0, 3, "Font Object", {}},
    {4, "Font", {0xBEF6E003, 0xA874, 0x101A, {0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x1000, 1, 0, 8, -1, nullptr, {}},
    {6, "IFontDisp", {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {5, "StdFont", {0x0BE35203, 0x8F91, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}}, 0x2, 2, 0, 0, -1, nullptr, {{31, 0x1}, {30, 0x0}}},
    {3, "IPicture", {0x7BF80980, 0xBF32, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x10, 1, 15, 0, 3, "Picture Object", {}},
    {4, "Picture", {0x7BF80981, 0xBF32, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}}, 0x1000, 1, 1, 5, -1, nullptr, {}},
    {6, "IPictureDisp", {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, 0x0, 0, 0, 0, -1, nullptr, {}},
    {5, "StdPicture", {0x0BE35204, 0x8F91, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}}, 0x2, 2, 0, 0, -1, nullptr, {{35, 0x1}, {34, 0x0}}},
    {0, "LoadPictureConstants", {0xE6C8FA08, 0xBD9F, 0x11D0, {0x98, 0x5E, 0x00, 0xC0, 0x4F, 0xC2, 0x99, 0x93}}, 0x0, 0, 0, 4, -1, nullptr, {}},
    {2, "StdFunctions", {0x91209AC0, 0x60F6, 0x11CF, {0x9C, 0x5D, 0x00, 0xAA, 0x00, 0xC1, 0x48, 0x9E}}, 0x0, 0, 2, 0, -1, "Functions for Standard OLE Objects", {}},
    {4, "FontEvents", {0x4EF6100A, 0xAF88, 0x11D0, {0x98, 0x46, 0x00, 0xC0, 0x4F, 0xC2, 0x99, 0x93}}, 0x1010, 1, 1, 0, -1, "Event Interface for the Font Object", {}},
    {6, "IFontEventsDisp", {0x00000000, 0x0000, 0x0000, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, 0x0, 0, 0, 0, -1, nullptr, {}},
};

const BuiltinFunction builtinFunctions[] = {
    {3, 1610612736, 1, 1, 0, "25", "QueryInterface", "ptr(29:0) riid 1|ptr(ptr(24)) ppvObj 2", nullptr},
    {3, 1610612737, 1, 1, 0, "19", "AddRef", "", nullptr},
    {3, 1610612738, 1, 1, 0, "19", "Release", "", nullptr},
    {4, 1610678272, 1, 1, 0, "25", "GetTypeInfoCount", "ptr(23) pctinfo 2", nullptr},
    {4, 1610678273, 1, 1, 0, "25", "GetTypeInfo", "23 itinfo 1|19 lcid 1|ptr(ptr(24)) pptinfo 2", nullptr},
    {4, 1610678274, 1, 1, 0, "25", "GetIDsOfNames", "ptr(29:0) riid 1|ptr(ptr(16)) rgszNames 1|23 cNames 1|19 lcid 1|ptr(3) rgdispid 2", nullptr},
    {4, 1610678275, 1, 1, 0, "25", "Invoke", "3 dispidMember 1|ptr(29:0) riid 1|19 lcid 1|18 wFlags 1|ptr(29:1) pdispparams 1|ptr(12) pvarResult 2|ptr(29:2) pexcepinfo 2|ptr(23) puArgErr 2", nullptr},
    {5, 1610678272, 1, 1, 0, "25", "Next", "19 celt 1|ptr(12) rgvar 1|ptr(19) pceltFetched 2", nullptr},
    {5, 1610678273, 1, 1, 0, "25", "Skip", "19 celt 1", nullptr},
    {5, 1610678274, 1, 1, 0, "25", "Reset", "", nullptr},
    {5, 1610678275, 1, 1, 0, "25", "Clone", "ptr(ptr(29:5)) ppenum 2", nullptr},
    {30, 1610678272, 1, 2, 0, "25", "Name", "ptr(8) pname 10", nullptr},
    {30, 1610678272, 1, 4, 0, "25", "Name", "8 pname 1", nullptr},
    {30, 1610678274, 1, 2, 0, "25", "Size", "ptr(6) psize 10", nullptr},
    {30, 1610678274, 1, 4, 0, "25", "Size", "6 psize 1", nullptr},
    {30, 1610678276, 1, 2, 0, "25", "Bold", "ptr(11) pbold 10", nullptr},
    {30, 1610678276, 1, 4, 0, "25", "Bold", "11 pbold 1", nullptr},
    {30, 1610678278, 1, 2, 0, "25", "Italic", "ptr(11) pitalic 10", nullptr},
    {30, 1610678278, 1, 4, 0, "25", "Italic", "11 pitalic 1", nullptr},
    {30, 1610678280, 1, 2, 0, "25", "Underline", "ptr(11) punderline 10", nullptr},
    {30, 1610678280, 1, 4, 0, "25", "Underline", "11 punderline 1", nullptr},
    {30, 1610678282, 1, 2, 0, "25", "Strikethrough", "ptr(11) pstrikethrough 10", nullptr},
    {30, 1610678282, 1, 4, 0, "25", "Strikethrough", "11 pstrikethrough 1", nullptr},
    {30, 1610678284, 1, 2, 0, "25", "Weight", "ptr(2) pweight 10", nullptr},
    {30, 1610678284, 1, 4, 0, "25", "Weight", "2 pweight 1", nullptr},
    {30, 1610678286, 1, 2, 0, "25", "Charset", "ptr(2) pcharset 10", nullptr},
    {30, 1610678286, 1, 4, 0, "25", "Charset", "2 pcharset 1", nullptr},
    {30, 1610678288, 1, 2, 0, "25", "hFont", "ptr(29:19) phfont 10", nullptr},
    {30, 1610678289, 1, 1, 0, "25", "Clone", "ptr(ptr(29:30)) ppfont 2", nullptr},
    {30, 1610678290, 1, 1, 0, "25", "IsEqual", "ptr(29:30) pfontOther 1", nullptr},
    {30, 1610678291, 1, 1, 0, "25", "SetRatio", "3 cyLogical 1|3 cyHimetric 1", nullptr},
    {30, 1610678292, 1, 1, 0, "25", "AddRefHfont", "29:19 hFont 1", nullptr},
    {30, 1610678293, 1, 1, 0, "25", "ReleaseHfont", "29:19 hFont 1", nullptr},
    {34, 1610678272, 1, 2, 0, "25", "Handle", "ptr(29:19) phandle 10", nullptr},
    {34, 1610678273, 1, 2, 0, "25", "hPal", "ptr(29:19) phpal 10", nullptr},
    {34, 1610678274, 1, 2, 0, "25", "Type", "ptr(2) ptype 10", nullptr},
    {34, 1610678275, 1, 2, 0, "25", "Width", "ptr(29:13) pwidth 10", nullptr},
    {34, 1610678276, 1, 2, 0, "25", "Height", "ptr(29:14) pheight 10", nullptr},
    {34, 1610678277, 1, 1, 0, "25", "Render", "22 hdc 1|3 x 1|3 y 1|3 cx 1|3 cy 1|29:11 xSrc 1|29:12 ySrc 1|29:13 cxSrc 1|29:14 cySrc 1|ptr(24) prcWBounds 1", nullptr},
    {34, 1610678273, 1, 4, 0, "25", "hPal", "29:19 phpal 1", nullptr},
    {34, 1610678279, 1, 2, 0, "25", "CurDC", "ptr(22) phdcOut 10", nullptr},
    {34, 1610678280, 1, 1, 0, "25", "SelectPicture", "22 hdcIn 1|ptr(22) phdcOut 2|ptr(29:19) phbmpOut 2", nullptr},
    {34, 1610678281, 1, 2, 0, "25", "KeepOriginalFormat", "ptr(11) pfkeep 10", nullptr},
    {34, 1610678281, 1, 4, 0, "25", "KeepOriginalFormat", "11 pfkeep 1", nullptr},
    {34, 1610678283, 1, 1, 0, "25", "PictureChanged", "", nullptr},
    {34, 1610678284, 1, 1, 0, "25", "SaveAsFile", "ptr(24) pstm 1|11 fSaveMemCopy 1|ptr(3) pcbSize 2", nullptr},
    {34, 1610678285, 1, 2, 0, "25", "Attributes", "ptr(3) pdwAttr 10", nullptr},
    {34, 1610678286, 1, 1, 0, "25", "SetHdc", "29:19 hdc 1", nullptr},
    {35, 6, 4, 1, 0, "24", "Render", "22 hdc 0|3 x 0|3 y 0|3 cx 0|3 cy 0|29:11 xSrc 0|29:12 ySrc 0|29:13 cxSrc 0|29:14 cySrc 0|ptr(24) prcWBounds 0", nullptr},
    {39, 1610612736, 3, 1, 1, "25", "LoadPicture", "12 filename 17|22 widthDesired 49=22:0|22 heightDesired 49=22:0|29:38 flags 49=3:0|ptr(ptr(29:36)) retval 10", "Loads a picture from a file"},
    {39, 1610612737, 3, 1, 0, "25", "SavePicture", "ptr(29:36) Picture 1|8 filename 1", "Saves a picture to a file"},
    {40, 9, 4, 1, 0, "24", "FontChanged", "8 PropertyName 1", nullptr},
};

// The aliased types, written as the functions' types are.
const std::pair<uint32_t, const char*> builtinAliases[] = {
    {6, "19"},  {7, "3"},   {8, "3"},   {9, "3"},   {10, "3"},  {11, "3"},     {12, "3"},     {13, "3"},
    {14, "3"},  {15, "4"},  {16, "4"},  {17, "4"},  {18, "4"},  {19, "22"},    {20, "11"},    {21, "11"},
    {22, "11"}, {24, "8"},  {25, "6"},  {26, "11"}, {27, "11"}, {28, "11"},    {29, "11"},    {32, "29:31"},
    {36, "29:35"}, {41, "29:40"},
};

int64_t parseNumber(std::string_view text) {
    int64_t n = 0;
    for (char c : text) n = n * 10 + (c - '0');
    return n;
}

int32_t referenceTo(int32_t index);

TypeDescription parseType(std::string_view text) {
    TypeDescription t;
    bool pointer = text.starts_with("ptr(");
    if (pointer || text.starts_with("safearray(")) {
        size_t open = text.find('(');
        t.vt = pointer ? 26 : 27;
        t.pointee = std::make_shared<const TypeDescription>(parseType(text.substr(open + 1, text.size() - open - 2)));
        return t;
    }
    size_t colon = text.find(':');
    t.vt = static_cast<uint16_t>(parseNumber(text.substr(0, colon)));
    if (colon != std::string_view::npos) t.reference = referenceTo(static_cast<int32_t>(parseNumber(text.substr(colon + 1))));
    return t;
}

StoredFunction makeFunction(const BuiltinFunction& b) {
    StoredFunction f;
    f.memberId = b.memberId;
    f.funcKind = b.funcKind;
    f.invokeKind = b.invokeKind;
    f.optionalParamCount = b.optionalParamCount;
    f.result = parseType(b.result);
    f.name = b.name;
    if (b.docString) f.docString = b.docString;
    std::string_view rest = b.params;
    while (!rest.empty()) {
        size_t end = rest.find('|');
        std::string_view item = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        size_t first = item.find(' '), second = item.rfind(' ');
        StoredParameter p;
        p.type = parseType(item.substr(0, first));
        p.name = std::string(item.substr(first + 1, second - first - 1));
        std::string_view flags = item.substr(second + 1);
        size_t equals = flags.find('=');
        if (equals != std::string_view::npos) {
            std::string_view value = flags.substr(equals + 1);
            size_t colon = value.find(':');
            p.defaultValue = ConstantValue{static_cast<uint16_t>(parseNumber(value.substr(0, colon))),
                                           parseNumber(value.substr(colon + 1)), 0, std::nullopt};
        }
        p.flags = static_cast<uint16_t>(parseNumber(flags.substr(0, equals)));
        f.params.push_back(std::move(p));
    }
    return f;
}

constexpr uint32_t builtinPointerSize = 8;
constexpr uint32_t builtinTypeCount = sizeof builtinTypes / sizeof builtinTypes[0];

// References inside the built-in library are type indexes times four, so the
// two low bits stay free as in a file's references.
int32_t referenceTo(int32_t index) { return index < 0 ? -1 : index * 4; }

class StandardOleLibrary final : public TypeSource {
public:
    StandardOleLibrary() {
        functions_.resize(builtinTypeCount);
        for (const BuiltinFunction& b : builtinFunctions) functions_[b.typeIndex].push_back(makeFunction(b));
    }

    uint32_t count() const override { return builtinTypeCount; }
    uint32_t pointerSize() const override { return builtinPointerSize; }
    Guid libraryGuid() const override { return standardOleLibraryGuid; }
    int32_t dispatchReference() const override { return referenceTo(4); }

    Result<Documentation> documentation(int32_t index) const override {
        if (index == -1) return Documentation{std::string("stdole"), std::string("OLE Automation")};
        if (index < 0 || uint32_t(index) >= builtinTypeCount) return fail("no type " + std::to_string(index));
        const BuiltinType& t = builtinTypes[index];
        Documentation d{std::string(t.name), std::nullopt};
        if (t.docString) d.docString = t.docString;
        return d;
    }

    Result<StoredType> type(uint32_t index) const override {
        if (index >= builtinTypeCount) return fail("no type " + std::to_string(index), Failure::Step::TypeInfo);
        const BuiltinType& b = builtinTypes[index];
        StoredType t;
        t.guid = b.guid;
        t.kind = b.kind;
        t.flags = b.flags;
        t.implTypeCount = b.implTypeCount;
        t.funcCount = b.funcCount;
        t.varCount = b.varCount;
        t.vtableSize = static_cast<uint16_t>(b.funcCount * builtinPointerSize);
        t.datatype1 = b.kind == TKIND_COCLASS ? -1 : referenceTo(b.base);
        return t;
    }

    Result<StoredFunction> function(uint32_t index, uint32_t k) const override {
        if (index >= builtinTypeCount || k >= functions_[index].size()) return fail("no function " + std::to_string(k));
        return functions_[index][k];
    }

    Result<TypeDescription> aliasType(uint32_t index) const override {
        for (const auto& [type, text] : builtinAliases)
            if (type == index) return parseType(text);
        return fail("type " + std::to_string(index) + " of the built-in standard library is no alias");
    }

    Result<StoredVariable> variable(uint32_t, uint32_t k) const override {
        return fail("variable " + std::to_string(k) + " of the built-in standard library is not described");
    }

    Result<std::optional<uint32_t>> findMember(uint32_t index, int32_t memberId) const override {
        if (index >= builtinTypeCount) return fail("no type " + std::to_string(index));
        for (uint32_t k = 0; k < functions_[index].size(); ++k)
            if (functions_[index][k].memberId == memberId) return std::optional<uint32_t>(k);
        return std::optional<uint32_t>();
    }

    Result<std::pair<int32_t, int32_t>> classInterface(uint32_t index, uint32_t j) const override {
        if (index >= builtinTypeCount || j >= builtinTypes[index].classInterfaces.size())
            return fail("no implemented type " + std::to_string(j));
        auto [target, flags] = builtinTypes[index].classInterfaces[j];
        return std::pair<int32_t, int32_t>(referenceTo(target), flags);
    }

    Result<TypeLocation> resolve(int32_t reference) const override {
        if (reference < 0 || uint32_t(reference / 4) >= builtinTypeCount)
            return fail("reference " + hexText(uint32_t(reference)) + " names no type of the standard library");
        return TypeLocation{this, uint32_t(reference / 4)};
    }

private:
    std::vector<std::vector<StoredFunction>> functions_;
};

}  // namespace

const Guid standardOleLibraryGuid{0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const TypeSource& standardOleLibrary() {
    static const StandardOleLibrary library;
    return library;
}

}  // namespace mivra
