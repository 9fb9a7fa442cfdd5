#include <QCoreApplication>

#include <gtest/gtest.h>

// Every test executable gets a Qt application object so that QProcess, timers and
// queued calls work; widget tests replace it with QApplication through their own main.
#ifdef TRAWLIX_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    // CTest also starts the executables to list their tests, without the per-test environment:
    // without a display the widget tests would abort there.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
