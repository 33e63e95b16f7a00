// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

// The full disk of tests/FullDisk.cpp, in a test program or in a program the test starts. The test
// program itself gets it by starting anew with it preloaded, from its initMain: a test run by hand gets
// it as under ctest.
namespace FullDisk {

inline void PreloadIntoThisProgram()
{
    if (dlsym(RTLD_DEFAULT, "tonvix_full_disk") != nullptr)
        return;
    std::ifstream source("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    std::vector<std::string> words;
    for (std::size_t start = 0; start < all.size();) {
        const std::size_t end = all.find('\0', start);
        words.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    std::vector<char*> arguments;
    for (std::string& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    setenv("LD_PRELOAD", TONVIX_FULL_DISK_LIBRARY, 1);
    execv("/proc/self/exe", arguments.data());
    std::perror("the full disk could not be preloaded");
    std::abort();
}

// While it lives, `folder` has `room` bytes left for writing (this program, preloaded).
class TFull
{
public:
    TFull(const QString& folder, long long room)
    {
        using TSet = void (*)(const char*, long long);
        Set = reinterpret_cast<TSet>(dlsym(RTLD_DEFAULT, "tonvix_full_disk"));
        if (Set != nullptr)
            Set(QFile::encodeName(QFileInfo(folder).canonicalFilePath()).constData(), room);
    }
    ~TFull()
    {
        if (Set != nullptr)
            Set(nullptr, 0);
    }
    TFull(const TFull&) = delete;
    TFull& operator=(const TFull&) = delete;
    bool Active() const { return Set != nullptr; }

private:
    void (*Set)(const char*, long long) = nullptr;
};

// The environment of a program started with `folder` full but for `room` bytes.
inline QProcessEnvironment Environment(QProcessEnvironment environment, const QString& folder, long long room)
{
    environment.insert("LD_PRELOAD", TONVIX_FULL_DISK_LIBRARY);
    environment.insert("TONVIX_FULL_DISK",
                       QFileInfo(folder).canonicalFilePath() + ':' + QString::number(room));
    return environment;
}

} // namespace FullDisk
