// Helpers of the application tests: temporary directories and whole-file reads.
#pragma once

#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <string>

namespace tarvo::test {

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline bool fileExists(const std::string &path)
{
    return std::ifstream(path).good();
}

// A fresh working directory that disappears with the object.
class WorkDir
{
public:
    std::string path() const { return dir.path().toStdString(); }
    std::string file(const std::string &name) const { return path() + "/" + name; }

private:
    QTemporaryDir dir;
};

} // namespace tarvo::test
