#pragma once

// The emulator's registry of virtual ports, shared by the emulator (which registers its
// pseudo-terminal) and the link's port source (which lists the live entries).
//
// Directory: $XLT_SIM_DIR if set; else $XDG_RUNTIME_DIR/xlt-sim if XDG_RUNTIME_DIR is set; else
// /tmp/xlt-sim-<uid>. Each running emulator owns one file "port-<k>" (k = 0..126, the lowest
// free one, created exclusively) holding the line "<pid>\t<device path>\n" and a second line
// with the port's USB serial number (a reader that knows only the first line still works). An
// entry whose pid is not alive is stale and may be reclaimed.
//
// Whoever can write the directory decides which device the tool sends firmware and
// configurations to, and /tmp is open to every local user: a directory is used only when it
// is a real directory (no symbolic link) owned by this user that nobody else can read, write
// or enter (mode 0700 or stricter). Others are neither listed nor registered in.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace xlt::link {

constexpr int kMaxSimPorts = 127;
/// Port numbers of the registry's entries: entry k is COM(129 + k).
constexpr int kFirstSimPortNumber = 129;

std::string simRegistryDir();

/// True when `dir` may be used as the registry (see above). Otherwise false, and `why` says
/// what is wrong in a sentence that names the directory.
bool simRegistryDirTrusted(const std::string &dir, std::string &why);

/// One live entry of the registry.
struct SimPort
{
    int index = 0;
    std::string devicePath;
    std::string serial{}; ///< empty when the entry has no second line
    bool operator==(const SimPort &) const = default;
};

/// The live entries of `dir`, in order of k. Entries whose pid is not alive, whose device path
/// does not exist or whose file is malformed are skipped. A missing directory, or one that is
/// not trusted, gives an empty list.
std::vector<SimPort> readSimPorts(const std::string &dir);

/// One registered virtual port. Moving transfers ownership of the file; the owner removes it
/// on destruction or unregister().
class SimPortRegistration
{
public:
    /// Creates `dir` (mode 0700) when missing and takes the lowest free index, reclaiming stale
    /// files. The entry carries `serial` as its USB serial number, or "XLTSIM<port number>"
    /// ("XLTSIM129") when it is empty. Empty when every index is taken by a live emulator or
    /// the directory is unusable or not trusted, or the path or serial holds a line break;
    /// then `error`, when given, says why.
    static std::optional<SimPortRegistration> create(const std::string &dir,
                                                     const std::string &devicePath,
                                                     std::string *error = nullptr,
                                                     const std::string &serial = {});
    SimPortRegistration(SimPortRegistration &&other) noexcept;
    SimPortRegistration &operator=(SimPortRegistration &&other) noexcept;
    SimPortRegistration(const SimPortRegistration &) = delete;
    SimPortRegistration &operator=(const SimPortRegistration &) = delete;
    ~SimPortRegistration();

    int index() const { return m_index; }
    /// The registration file's path (empty once unregistered); a signal handler may unlink()
    /// it directly.
    const std::string &filePath() const { return m_path; }
    /// Removes the file now; later calls do nothing.
    void unregister();

private:
    SimPortRegistration(int index, std::string path)
        : m_index(index)
        , m_path(std::move(path))
    {}
    static std::optional<SimPortRegistration>
    claimIndex(const std::string &dir, const std::string &devicePath, const std::string &serial);
    int m_index = -1;
    std::string m_path;
};

} // namespace xlt::link
