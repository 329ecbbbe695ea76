#include "TypeModel.h"

#include <unordered_set>

namespace mivra {

namespace {

void link(const TypeModel& model, CoclassRecord& coclass, const InterfaceRecord* record,
          std::unordered_set<const InterfaceRecord*>& path) {
    if (!record || path.count(record)) return;
    coclass.interfaces.insert(coclass.interfaces.begin(), record);
    path.insert(record);
    for (const Guid& base : record->baseIids) link(model, coclass, model.lookupInterface(base), path);
    path.erase(record);
}

}  // namespace

void TypeModel::build(const TypeLibraryReader& reader) {
    uint32_t count = reader.typeInfoCount();
    for (uint32_t i = 0; i < count; ++i) {
        auto attributes = reader.typeAttributes(i);
        if (!attributes || attributes->kind != TKIND_DISPATCH) continue;
        InterfaceRecord record;
        record.typeIndex = i;
        record.iid = attributes->guid;
        if (auto doc = reader.documentation(static_cast<int32_t>(i))) {
            record.name = doc->name.value_or("");
            record.docString = doc->docString.value_or("");
        }
        for (uint32_t j = 0; j < attributes->implTypeCount; ++j) {
            auto implemented = reader.implementedType(i, j);
            if (implemented && implemented->attributes.kind == TKIND_DISPATCH)
                record.baseIids.insert(record.baseIids.begin(), implemented->attributes.guid);
        }
        interfaces[guidText(record.iid)] = std::move(record);
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto attributes = reader.typeAttributes(i);
        if (!attributes || !(attributes->flags & TYPEFLAG_FCANCREATE) || attributes->implTypeCount == 0)
            continue;
        CoclassRecord record;
        record.typeIndex = i;
        record.clsid = attributes->guid;
        if (auto doc = reader.documentation(static_cast<int32_t>(i))) {
            record.name = doc->name.value_or("");
            record.docString = doc->docString.value_or("");
        }
        for (uint32_t j = 0; j < attributes->implTypeCount; ++j) {
            auto implemented = reader.implementedType(i, j);
            if (!implemented || implemented->attributes.kind != TKIND_DISPATCH ||
                !(implemented->attributes.flags & TYPEFLAG_FDUAL))
                continue;
            std::unordered_set<const InterfaceRecord*> path;
            link(*this, record, lookupInterface(implemented->attributes.guid), path);
        }
        coclasses.push_back(std::move(record));
    }
    if (!coclasses.empty()) {
        if (auto doc = reader.documentation(-1)) {
            libraryName = doc->name.value_or("");
            libraryDoc = doc->docString.value_or("");
        }
    }
}

const InterfaceRecord* TypeModel::lookupInterface(const Guid& guid) const {
    auto found = interfaces.find(guidText(guid));
    return found == interfaces.end() ? nullptr : &found->second;
}

}  // namespace mivra
