// The entry point of every test program: the environment the tests rely on
// is set here, so that a program runs the same from ctest and by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    // Qt wants a private runtime folder (mode 0700) and, with no display, the
    // offscreen platform; neither may touch the user's own.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // One per test program: programs run side by side, and the staging file
    // lives there.
    const std::string name = argv[0], runtime = TEST_RUNTIME_DIR "/" + name.substr(name.rfind('/') + 1);
    ::mkdir(TEST_RUNTIME_DIR, 0700);
    ::mkdir(runtime.c_str(), 0700);
    ::chmod(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // Anything written to the user's configuration lands here instead, where
    // a test can see it.
    const std::string config = runtime + "/config-" + std::to_string(::getpid());
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
