#pragma once

#include "RiffChunks.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a reference (LIST 'DMRF') says of the object it names; only the fields its flags mark
// as valid are filled.
struct ObjectReference {
    riff::Guid classId{};
    riff::Guid guid{};
    std::string name;     // UTF-8
    std::string category;
    std::string file;     // as written in the file: a bare name, or a Windows path if fullPath
    std::uint32_t valid = 0;

    static constexpr std::uint32_t kObject = 0x1, kClass = 0x2, kName = 0x4, kCategory = 0x8,
                                   kFileName = 0x10, kFullPath = 0x20;

    /// Reads the body of a LIST 'DMRF'.
    static ObjectReference read(riff::Bytes body);
};

// Finds the objects a segment names, the way DirectMusic's loader did: first among the objects
// it already knows (those embedded in a container, then files it has loaded), by GUID, then by
// name; then as a file, by its name compared without regard to case, in each search folder in
// turn. Names that would leave a folder ('/', '\\' within a relative name, "..") are refused,
// as are special files and files larger than any music file.
class ObjectLoader {
public:
    /// `folders`: where referenced files are looked for, in order; none: embedded objects only.
    explicit ObjectLoader(std::vector<std::string> folders = {});
    ~ObjectLoader();
    ObjectLoader(const ObjectLoader&) = delete;
    ObjectLoader& operator=(const ObjectLoader&) = delete;

    /// Registers the objects embedded in a container (the body of a RIFF 'DMCN'). The bytes
    /// must outlive the loader.
    void addContainer(riff::Bytes body);
    /// The whole RIFF form of the object a reference names (from its "RIFF" on), or an empty
    /// span when it can be found nowhere. Valid as long as the loader.
    riff::Bytes find(const ObjectReference& reference);
    riff::Bytes find(riff::Bytes referenceBody) { return find(ObjectReference::read(referenceBody)); }

private:
    struct Known {
        riff::Guid classId{};
        riff::Guid guid{};
        bool hasGuid = false;
        std::string name;
        std::string alias;
        std::string file; // lower-case, for objects loaded from files
        riff::Bytes form;
    };

    riff::Bytes readFromFolders(const std::string& file);
    void remember(Known known);

    std::vector<std::string> folders_;
    std::vector<Known> known_;
    std::vector<std::unique_ptr<std::vector<std::uint8_t>>> files_; // the bytes of loaded files
};
