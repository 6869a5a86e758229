// Where the build leaves the sample company files (the run command copies them into the
// program folder build/bin/samples). QVX_SAMPLES_DIR is a compile definition of qvx_samples.
#pragma once

#include <string>

namespace qvx::samples {

inline constexpr char kAustralianFile[] = "AUSample.MYO";
inline constexpr char kUsaFile[] = "USASample.MYO";
inline constexpr char kAr2011File[] = "ARSample.MYOX";
inline constexpr char kGroupFolder[] = "Group";

inline std::string SamplesDir() { return QVX_SAMPLES_DIR; }
inline std::string SamplePath(const char* name) { return SamplesDir() + "/" + name; }

}  // namespace qvx::samples
