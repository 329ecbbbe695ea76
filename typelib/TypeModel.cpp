#include "TypeModel.h"

#include <algorithm>
#include <unordered_set>

namespace mivra {

namespace {

// A class cannot expose more interfaces than this; it bounds what a
// library whose interfaces name each other many times over can make.
constexpr size_t maxClassInterfaces = 4096;

std::string textOf(const std::optional<std::string>& text) { return text ? *text : std::string(); }

}  // namespace

size_t InterfaceTable::bucketOf(const std::string& key) {
    uint32_t hash = 0;
    for (char c : key) hash = hash * 33 + static_cast<uint8_t>(c);
    return hash % bucketCount;
}

void InterfaceTable::insert(InterfaceRecord record) {
    std::string key = guidText(record.iid);
    auto [slot, added] = index_.try_emplace(key, nullptr);
    if (!added) {
        *slot->second = std::move(record);
        return;
    }
    auto& bucket = buckets_[bucketOf(key)];
    bucket.push_back(std::make_unique<InterfaceRecord>(std::move(record)));
    slot->second = bucket.back().get();
    ++size_;
}

const InterfaceRecord* InterfaceTable::find(const std::string& key) const {
    auto found = index_.find(key);
    return found == index_.end() ? nullptr : found->second;
}

void InterfaceTable::clear() {
    for (auto& bucket : buckets_) bucket.clear();
    index_.clear();
    size_ = 0;
}

std::vector<const InterfaceRecord*> InterfaceTable::inOrder() const {
    std::vector<const InterfaceRecord*> records;
    records.reserve(size_);
    for (const auto& bucket : buckets_)
        for (auto record = bucket.rbegin(); record != bucket.rend(); ++record) records.push_back(record->get());
    return records;
}

const InterfaceRecord* TypeModel::lookupInterface(const Guid& iid) const { return interfaces.find(guidText(iid)); }

void TypeModel::releaseLibrary() {
    if (library) library->release();
    library.reset();
}

void TypeModel::clear() {
    releaseLibrary();
    libraryName.clear();
    libraryDoc.clear();
    coclasses.clear();
    interfaces.clear();
}

namespace {

// Puts the interface at the front of the class's list, then links the
// dispatch interfaces it names, front to back. The same interface may be
// linked more than once; an interface already being linked further up is
// not followed again, so names that form a cycle end.
void link(const TypeModel& model, CoclassRecord& coclass, const InterfaceRecord* record,
          std::vector<const InterfaceRecord*>& path) {
    if (!record || coclass.interfaces.size() >= maxClassInterfaces) return;
    if (std::find(path.begin(), path.end(), record) != path.end()) return;
    coclass.interfaces.insert(coclass.interfaces.begin(), record);
    path.push_back(record);
    for (const Guid& base : record->baseIids) link(model, coclass, model.lookupInterface(base), path);
    path.pop_back();
}

std::string lowered(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

void TypeModel::distinguishNames() {
    // Libraries may hold two types of one name (compared without regard to
    // case, as file names are on Windows); the later type in the library
    // gets the name with "_2" (or the next free number) appended.
    std::vector<std::pair<uint32_t, std::string*>> names;
    for (const InterfaceRecord* record : interfaces.inOrder())
        names.emplace_back(record->typeIndex, &const_cast<InterfaceRecord*>(record)->name);
    for (CoclassRecord& coclass : coclasses) names.emplace_back(coclass.typeIndex, &coclass.name);
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::unordered_set<std::string> taken;
    for (const auto& entry : names) taken.insert(lowered(*entry.second));
    std::unordered_set<std::string> claimed;
    for (auto& [index, name] : names) {
        if (name->empty() || claimed.insert(lowered(*name)).second) continue;
        for (uint32_t n = 2;; ++n) {
            std::string candidate = *name + "_" + std::to_string(n);
            if (taken.count(lowered(candidate)) || !claimed.insert(lowered(candidate)).second) continue;
            *name = candidate;
            break;
        }
    }
}

void TypeModel::build() {
    coclasses.clear();
    interfaces.clear();
    if (!library) return;
    const TypeLibraryReader& reader = *library;
    uint32_t count = reader.typeInfoCount();

    for (uint32_t i = 0; i < count; ++i) {
        auto attributes = reader.typeAttributes(i);
        if (!attributes || attributes->kind != TKIND_DISPATCH) continue;
        InterfaceRecord record;
        record.typeIndex = i;
        record.iid = attributes->guid;
        if (auto doc = reader.documentation(static_cast<int32_t>(i))) {
            record.name = textOf(doc->name);
            record.docString = textOf(doc->docString);
        }
        for (uint32_t j = 0; j < attributes->implTypeCount; ++j) {
            auto implemented = reader.implementedType(i, j);
            if (implemented && implemented->attributes.kind == TKIND_DISPATCH)
                record.baseIids.insert(record.baseIids.begin(), implemented->attributes.guid);
        }
        interfaces.insert(std::move(record));
    }

    for (uint32_t i = 0; i < count; ++i) {
        auto attributes = reader.typeAttributes(i);
        if (!attributes || !(attributes->flags & TYPEFLAG_FCANCREATE) || attributes->implTypeCount == 0) continue;
        CoclassRecord& coclass = coclasses.emplace_back();
        coclass.typeIndex = i;
        coclass.clsid = attributes->guid;
        if (auto doc = reader.documentation(static_cast<int32_t>(i))) {
            coclass.name = textOf(doc->name);
            coclass.docString = textOf(doc->docString);
        }
        for (uint32_t j = 0; j < attributes->implTypeCount; ++j) {
            auto implemented = reader.implementedType(i, j);
            if (!implemented || implemented->attributes.kind != TKIND_DISPATCH ||
                !(implemented->attributes.flags & TYPEFLAG_FDUAL))
                continue;
            std::vector<const InterfaceRecord*> path;
            link(*this, coclass, lookupInterface(implemented->attributes.guid), path);
        }
    }

    distinguishNames();

    if (!coclasses.empty()) {
        if (auto doc = reader.documentation(-1)) {
            libraryName = textOf(doc->name);
            libraryDoc = textOf(doc->docString);
        }
    }
}

}  // namespace mivra
