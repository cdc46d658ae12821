// libFuzzer target for job tickets: any input is a ticket text read into a job by the
// plug-in's ticket reader (the strict JSON reader and the option values under it), and
// an option value set from the same bytes. Memory errors, undefined behaviour and
// unbounded work are what it looks for (build with sanitizers).
#include <cstdint>
#include <cstring>
#include <string>

#include "Sources/JobOptions.h"
#include "settings/MyJSON.h"

namespace {

const char* const kKeys[] = {"template", "second-sheet", "binding",    "align",  "creep",  "scale",
                             "pages",    "map-spot",     "spot-black", "output", "unknown"};

void ignore(const VexaProblem* p, void* data) {
    *static_cast<std::size_t*>(data) += std::strlen(p->text) + std::strlen(p->option);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    MyJSONValue v;
    std::string why;
    parseJSON(text, size, &v, &why);

    VexaJob job;
    std::memset(&job, 0, sizeof job);
    job.size = sizeof job;
    job.dlgUnits = size > 0 ? data[0] % 6 : 3;
    std::size_t said = 0;
    JobReport report{ignore, &said};
    readJobTicket(&job, text, size, "/fuzz/job.json", report);

    // The same bytes as one option value.
    if (size > 0) {
        std::string value(text + 1, size - 1);
        setJobOption(&job, kKeys[data[0] % (sizeof kKeys / sizeof kKeys[0])], value.c_str(),
                     "/fuzz", report);
    }
    return job.spotCount > kVexaMaxSpots ? 1 : 0;
}
