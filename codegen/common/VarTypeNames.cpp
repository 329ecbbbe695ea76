#include "VarTypeNames.h"

#include "VarType.h"

namespace mivra {

namespace {

struct VarTypeRow {
    uint16_t code;
    std::string_view name;
};

constexpr uint16_t vtRecord = 36, vtIntPtr = 37, vtUintPtr = 38;

constexpr VarTypeRow varTypeRows[] = {
    {VT_EMPTY, "VT_EMPTY"},     {VT_NULL, "VT_NULL"},         {VT_I2, "VT_I2"},
    {VT_I4, "VT_I4"},           {VT_R4, "VT_R4"},             {VT_R8, "VT_R8"},
    {VT_CY, "VT_CY"},           {VT_DATE, "VT_DATE"},         {VT_BSTR, "VT_BSTR"},
    {VT_DISPATCH, "VT_DISPATCH"}, {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"},
    {VT_VARIANT, "VT_VARIANT"}, {VT_UNKNOWN, "VT_UNKNOWN"},   {VT_DECIMAL, "VT_DECIMAL"},
    {VT_I1, "VT_I1"},           {VT_UI1, "VT_UI1"},           {VT_UI2, "VT_UI2"},
    {VT_UI4, "VT_UI4"},         {VT_I8, "VT_I8"},             {VT_UI8, "VT_UI8"},
    {VT_INT, "VT_INT"},         {VT_UINT, "VT_UINT"},         {VT_VOID, "VT_VOID"},
    {VT_HRESULT, "VT_HRESULT"}, {VT_PTR, "VT_PTR"},           {VT_SAFEARRAY, "VT_SAFEARRAY"},
    {VT_CARRAY, "VT_CARRAY"},   {VT_USERDEFINED, "VT_USERDEFINED"}, {VT_LPSTR, "VT_LPSTR"},
    {VT_LPWSTR, "VT_LPWSTR"},   {vtRecord, "VT_RECORD"},      {vtIntPtr, "VT_INT_PTR"},
    {vtUintPtr, "VT_UINT_PTR"}, {VT_VECTOR, "VT_VECTOR"},     {VT_ARRAY, "VT_ARRAY"},
    {VT_BYREF, "VT_BYREF"},
};

}  // namespace

std::string_view varTypeCodeName(uint16_t code) {
    for (const VarTypeRow& row : varTypeRows)
        if (row.code == code) return row.name;
    return {};
}

}  // namespace mivra
