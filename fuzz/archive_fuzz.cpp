// Resource archives from untrusted bytes: loading and opening every entry
// must end in content of the stated size or one of our exceptions.
#include "core/archive.h"
#include "core/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TResourceFileArchive archive;
    TReadOnlyMemoryStream stream(data, size);
    try {
        archive.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;
    }
    if (stream.Position() > size) std::abort();
    for (int i = 0; i < archive.Count(); ++i) {
        const TArchiveFile& file = archive.Entry(i);
        if (archive.Find(file.Name) != &file) std::abort();
        try {
            if (TResourceFileArchive::Unpack(file).size() != file.UnpackedSize) std::abort();
        } catch (const Exception&) {
        }
    }
    return 0;
}
