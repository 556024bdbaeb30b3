// Parses the input as a 3DM mesh text. Errors of ours are fine; crashes,
// leaks, hangs and inconsistent material indexes are not.
#include "core/errors.h"
#include "core/file3dm.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void CheckList(const T3DMMaterialList& list) {
    for (int i = 0; i < list.Count(); ++i) {
        T3DMMaterial* m = list.GetMaterial(i);
        if (m->Owner() != &list) __builtin_trap();
        // Some material of that name must be found (the first keyed).
        T3DMMaterial* found = list.FindMaterial(m->Name());
        if (!found || found->Owner() != &list) __builtin_trap();
        if (auto* multi = dynamic_cast<T3DMMaterialMultiSubObject*>(m)) CheckList(multi->SubMaterials);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    T3DMFile file;
    try {
        file.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const Exception&) {
    }
    CheckList(file.Materials);
    for (int i = 0; i < file.ObjectCount(); ++i) {
        const T3DMObject& o = file.GetObject(i);
        if (o.HasNormals != !o.Normals.empty()) __builtin_trap();
        if (static_cast<size_t>(o.Frames.Count()) > size) __builtin_trap();
    }
    return 0;
}
