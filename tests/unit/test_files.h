// Files for the tests: whole files read and written at once, and a folder of a test's own
// that goes when the test does. Built natively and with mingw-w64 alike.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the file whole; false when it could not.
[[nodiscard]] inline bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

// A new, empty folder in the system's temporary folder, removed with all it holds.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "korva")
    {
        // A random name, taken only if nobody has it: making the folder is the test, so tests
        // run at once never share one.
        const uint64_t now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        std::mt19937_64 random(std::random_device{}() ^ now);
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = base / (prefix + "-" + std::to_string(random() % 1000000000));
            std::error_code error;
            if (std::filesystem::create_directory(path_, error)) return;
            if (error) throw std::filesystem::filesystem_error("cannot make a temporary folder", path_, error);
        }
        throw std::runtime_error("no free temporary folder name in " + base.string());
    }
    ~TempDir()
    {
        std::error_code error;   // what cannot be removed is left; a destructor must not throw
        std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // A file or folder in it, as a string to put in a command line.
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

#ifndef _WIN32
    // Runs a native tool through the shell with these arguments, keeping its standard error
    // in `errors`; returns its exit status (the shell gives 128 + the signal for a tool that
    // crashed), or -1 when the shell itself did not exit.
    int Run(const std::string& tool, const std::string& arguments)
    {
        const std::string err = Path("stderr");
        const int status = std::system((tool + " " + arguments + " 2>" + err).c_str());
        const std::vector<uint8_t> text = ReadBytes(err);
        errors.assign(text.begin(), text.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string errors;   // the last run's standard error
#endif

private:
    std::filesystem::path path_;
};
