// Feeds the result-file reader arbitrary bytes as a file's content. Whatever
// they are: no crash, and either a refusal with nothing else, or records.
// Every record read from a file is given again by the same bytes (the reader
// keeps no state between files).

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "results/ResultImport.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TResultFileImport file = ReadResultFile(bytes);
    if (file.Refusal) {
        Check(file.Records.empty() && file.Skipped.empty());
        Check(!file.Refusal->Reason.empty() && file.Refusal->Line >= 0);
        return 0;
    }
    Check(!file.Records.empty());
    for (const TImportedRecord& r : file.Records) {
        Check(r.Line >= 1);
        Check(r.Values.Frequency >= 0 && r.Values.Frequency <= 255);
        Check(!r.Number || *r.Number >= 1);
        Check((r.Kind == TResultKind::Live) == !r.Number || r.Kind == TResultKind::Record);
    }
    Check(ReadResultFile(bytes).Records.size() == file.Records.size());
    return 0;
}
