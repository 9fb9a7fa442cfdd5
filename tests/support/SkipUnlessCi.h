#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

// For tests that need a part of the machine (root, nginx, ffmpeg, PulseAudio, Xvfb, capture
// permission): on a developer's machine a missing part skips the test; under CI (the variable
// CI set and not empty) it fails, so CI never loses coverage without anyone noticing. It ends
// the test (or SetUp) like GTEST_SKIP. The reason is anything that streams into a gtest message:
//     TRAWLIX_SKIP_UNLESS_CI("nginx could not listen: " << server.error().toStdString());
// Conditions that are no missing part (a dummy audio output without volume) stay GTEST_SKIP.
namespace trawlix_test {

inline bool runningUnderCi()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0';
}

inline void skipOrFail(const char* file, int line, const ::testing::Message& why)
{
    const bool ci = runningUnderCi();
    ::testing::internal::AssertHelper(ci ? ::testing::TestPartResult::kFatalFailure : ::testing::TestPartResult::kSkip,
                                      file, line,
                                      ci ? "a part this test needs is missing, and CI must not skip" : "Skipped") = why;
}

} // namespace trawlix_test

// One statement without an else of its own, so it sits safely in an unbraced if.
#define TRAWLIX_SKIP_UNLESS_CI(reason)                                                                                 \
    return ::trawlix_test::skipOrFail(__FILE__, __LINE__, ::testing::Message() << reason)
