// The one entry point of every test executable: a QApplication on the main
// thread (the GUI thread every player and widget call is made on) when the
// test display is up, a QCoreApplication otherwise.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <string>
#include <vector>

// Keeps Mesa's DRI driver mapped until the process ends: closing the display
// with the application would unload it, and LeakSanitizer then reports the
// driver's own static allocations from an unknown module, which no
// suppression can match. RTLD_NODELETE on an already loaded object marks it
// as never unloaded; the extra reference is kept on purpose.
static void pinGlDriver()
{
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "/dri/"))
                static_cast<std::vector<std::string> *>(data)->push_back(info->dlpi_name);
            return 0;
        },
        &drivers);
    for (const std::string &path : drivers)
        dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (std::getenv("DISPLAY"))
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const int result = RUN_ALL_TESTS();
    pinGlDriver();
    return result;
}
