#pragma once
// The documents other programs wrote (TARBEL_SAMPLES_DIR) live outside the
// repository, in ../shared/rtf-samples. Where they are missing, the tests
// that read them skip on a developer's machine and fail in a CI run: one
// whose environment sets CI (to anything but 0 or false), as .ci/run does.
#include <QByteArray>
#include <QTest>

namespace testsupport {

inline bool ciRun()
{
    const QByteArray ci = qgetenv("CI").toLower();
    return !ci.isEmpty() && ci != "0" && ci != "false";
}

}  // namespace testsupport

#define TARBEL_SAMPLES_MISSING_TEXT "the rtf samples are missing from " TARBEL_SAMPLES_DIR

// Checks that a sample was there: fails a CI run without it.
#define VERIFY_SAMPLE_UNLESS_LOCAL(present) \
    QVERIFY2((present) || !testsupport::ciRun(), TARBEL_SAMPLES_MISSING_TEXT)

// Skips the rest of the test where a sample is missing; fails a CI run.
#define REQUIRE_SAMPLE(present)                      \
    do {                                             \
        if (!(present)) {                            \
            VERIFY_SAMPLE_UNLESS_LOCAL(false);       \
            QSKIP(TARBEL_SAMPLES_MISSING_TEXT);      \
        }                                            \
    } while (false)
