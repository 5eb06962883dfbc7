// The files a make reads and writes, recorded where the make opens them (definitions, includes, export
// templates, the folders and files of the site), for the watch and the dependency file; and the switch that
// lets a make compile and walk without writing anything.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace brindlecor::builder {

class MakeFiles {
  public:
    enum class Kind { File, Folder };
    struct Read {
        std::string path;  // as the make named it
        Kind kind = Kind::File;
        bool found = false;  // a missing file is recorded too: creating it changes the make
    };

    // Records a file read (or looked for) and returns its index in reads(); a path read again keeps its
    // first entry, found if any of the reads found it.
    size_t readFile(const std::string& path, bool found) { return record(path, Kind::File, found); }
    // Records a folder whose entries were listed.
    size_t listedFolder(const std::string& path, bool found) { return record(path, Kind::Folder, found); }
    void wroteFile(const std::string& path);

    const std::vector<Read>& reads() const { return reads_; }
    const std::vector<std::string>& writes() const { return writes_; }
    void clear();

    // False: the image and the export file are not written (the make only compiles and walks).
    bool writeOutputs = true;

  private:
    size_t record(const std::string& path, Kind kind, bool found);

    std::vector<Read> reads_;
    std::unordered_map<std::string, size_t> index_;
    std::vector<std::string> writes_;
};

}  // namespace brindlecor::builder
