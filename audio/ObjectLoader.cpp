#include "ObjectLoader.h"

#include "AudioLibrary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

using namespace riff;

namespace {

// Everything a segment pulls in from files together; a hostile one naming every file in a
// folder stops here.
constexpr std::int64_t kMaxLoadedBytes = 4 * kMaxMusicFileBytes;

std::string lowered(std::string s)
{
    // Windows compares file names without regard to case, and real files rely on it. Only ASCII
    // is folded: no sample has other letters in a referenced name.
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The GUID and name an object carries in its own chunks.
void identify(Bytes form, Guid& guid, bool& hasGuid, std::string& name)
{
    if (form.size() < 12) return;
    const std::vector<Chunk> parts = chunksIn(form.subspan(12));
    for (const Chunk& c : parts) {
        if ((c.id == fourcc("guid") || c.id == fourcc("dlid")) && c.data.size() >= 16 && !hasGuid) {
            guid = guidAt(c.data, 0);
            hasGuid = true;
        } else if (isList(c, fourcc("UNFO")) && name.empty()) {
            const std::vector<Chunk> strings = chunksIn(c.body);
            if (const Chunk* unam = findChunk(strings, fourcc("UNAM"))) name = utf8Of(unam->data);
        } else if (isList(c, fourcc("INFO")) && name.empty()) {
            const std::vector<Chunk> strings = chunksIn(c.body);
            if (const Chunk* inam = findChunk(strings, fourcc("INAM")))
                name.assign(reinterpret_cast<const char*>(inam->data.data()),
                            std::find(inam->data.begin(), inam->data.end(), 0) - inam->data.begin());
        }
    }
}

// The bytes of a regular file of music size; empty for anything else (a FIFO, a device, a
// folder), without ever blocking on it.
std::vector<std::uint8_t> readRegularFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::vector<std::uint8_t> bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= kMaxMusicFileBytes) {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got); // a file that shrank while read keeps what was there
    }
    ::close(fd);
    return bytes;
}

} // namespace

ObjectReference ObjectReference::read(Bytes body)
{
    ObjectReference ref;
    const std::vector<Chunk> parts = chunksIn(body);
    const Chunk* refh = findChunk(parts, fourcc("refh"));
    if (refh == nullptr) return ref;
    ref.classId = guidAt(refh->data, 0);
    ref.valid = field<std::uint32_t>(refh->data, 16);
    for (const Chunk& c : parts) {
        if (c.id == fourcc("guid") && (ref.valid & kObject)) ref.guid = guidAt(c.data, 0);
        else if (c.id == fourcc("name") && (ref.valid & kName)) ref.name = utf8Of(c.data);
        else if (c.id == fourcc("catg") && (ref.valid & kCategory)) ref.category = utf8Of(c.data);
        else if (c.id == fourcc("file") && (ref.valid & kFileName)) ref.file = utf8Of(c.data);
    }
    return ref;
}

ObjectLoader::ObjectLoader(std::vector<std::string> folders) : folders_(std::move(folders)) {}

ObjectLoader::~ObjectLoader() = default;

void ObjectLoader::remember(Known known)
{
    identify(known.form, known.guid, known.hasGuid, known.name);
    known_.push_back(std::move(known));
}

void ObjectLoader::addContainer(Bytes body)
{
    const std::vector<Chunk> parts = chunksIn(body);
    const Chunk* cosl = findList(parts, fourcc("cosl"));
    if (cosl == nullptr) return;
    for (const Chunk& cobl : chunksIn(cosl->body)) {
        if (!isList(cobl, fourcc("cobl"))) continue;
        Known known;
        for (const Chunk& c : chunksIn(cobl.body)) {
            if (c.id == fourcc("coba")) known.alias = utf8Of(c.data);
            else if (c.id == fourcc("cobh")) known.classId = guidAt(c.data, 0);
            else if (c.id == fourcc("RIFF") && known.form.empty())
                known.form = cobl.body.subspan(c.offset, 8 + c.data.size());
            else if (isList(c, fourcc("DMRF")) && known.form.empty()) {
                // A container may name a file instead of holding the object; it is then known
                // under the reference's own GUID and name too.
                const ObjectReference ref = ObjectReference::read(c.body);
                known.form = find(ref);
                known.guid = ref.guid;
                known.hasGuid = (ref.valid & ObjectReference::kObject) != 0;
                known.name = ref.name;
            }
        }
        if (!known.form.empty()) remember(std::move(known));
    }
}

Bytes ObjectLoader::find(const ObjectReference& ref)
{
    const bool byGuid = (ref.valid & ObjectReference::kObject) != 0;
    const bool byName = (ref.valid & ObjectReference::kName) != 0 && !ref.name.empty();
    const bool byFile = (ref.valid & ObjectReference::kFileName) != 0 && !ref.file.empty();
    if (byGuid)
        for (const Known& k : known_)
            if (k.hasGuid && k.guid == ref.guid) return k.form;
    if (byName)
        for (const Known& k : known_)
            if (k.name == ref.name || k.alias == ref.name) return k.form;
    if (!byFile) return {};
    return readFromFolders(ref.valid & ObjectReference::kFullPath
                               ? ref.file.substr(ref.file.find_last_of("\\/") + 1) // npos + 1 == 0
                               : ref.file);
}

Bytes ObjectLoader::readFromFolders(const std::string& file)
{
    // A name is a name within a folder, never a way out of it.
    if (file.empty() || file.find_first_of(std::string("/\\\0", 3)) != std::string::npos ||
        file.find("..") != std::string::npos)
        return {};
    const std::string wanted = lowered(file);
    for (const Known& k : known_)
        if (k.file == wanted) return k.form;

    std::int64_t loaded = 0;
    for (const auto& f : files_) loaded += static_cast<std::int64_t>(f->size());
    for (const std::string& folder : folders_) {
        // The exact name first, then any that differs only in case (listed once per folder).
        std::vector<std::string> names{file};
        if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
            while (const dirent* entry = ::readdir(dir))
                if (entry->d_name != file && lowered(entry->d_name) == wanted) names.emplace_back(entry->d_name);
            ::closedir(dir);
        }
        for (const std::string& name : names) {
            const std::string path = folder.empty() ? name : folder + "/" + name;
            std::vector<std::uint8_t> bytes = readRegularFile(path);
            if (bytes.size() < 12 || loaded + std::int64_t(bytes.size()) > kMaxLoadedBytes) continue;
            files_.push_back(std::make_unique<std::vector<std::uint8_t>>(std::move(bytes)));
            Known known;
            known.file = wanted;
            known.form = Bytes(*files_.back());
            remember(known);
            return known.form;
        }
    }
    return {};
}
