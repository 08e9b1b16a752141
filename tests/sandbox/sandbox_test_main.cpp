// Metafiles decoded in this process (for comparison) draw text, which needs a QGuiApplication.
// The codec service's own pool uses the test helper with a short time limit.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TALLOWIN_DECODER_HELPER", TALLOWIN_BIN_DIR "/tallowin-decoder-test", 1);
    setenv("TALLOWIN_DECODER_TIMEOUT_MS", "3000", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
