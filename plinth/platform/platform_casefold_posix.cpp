// File names without case, POSIX stand-in: finds the spelling on disk of a
// path asked for in any case, and keeps what it read of folders for later
// lookups (see posix_support.h for the rules).
#include "plinth/platform/posix_support.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <mutex>
#include <shared_mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace
{

// A folder whose last change is older than this when it is read cannot
// change again without its times changing too, whatever the file system's
// time resolution (two seconds at worst), so a lookup that misses in it can
// trust the stamp alone instead of reading the folder again.
constexpr time_t kSettledSeconds = 3;

// Beyond these everything is dropped and learned again.
constexpr size_t kMaxFolders = 16384;
constexpr size_t kMaxNames = size_t(1) << 19;

struct FolderName
{
    std::string m_lower; // ASCII lower case: equal for names that differ only in case
    std::string m_name;

    bool operator<(const FolderName& other) const
    {
        const int n = m_lower.compare(other.m_lower);
        return n != 0 ? n < 0 : m_name < other.m_name;
    }
};

struct Folder
{
    bool m_bListed = false;  // m_names holds every entry; else only known to exist
    bool m_bSettled = false; // the stamp alone tells whether m_names is still true
    PosixFolderStamp m_stamp = {};
    // Sorted by lower-case name, then by name: the names one lookup may match
    // lie together, in byte order.
    std::vector<FolderName> m_names;
};

struct CaseCache
{
    std::shared_mutex m_lock;
    std::unordered_map<std::string, Folder> m_folders; // absolute path on disk -> folder
    size_t m_cNames = 0;
    std::atomic<size_t> m_cFolders{0}; // read without the lock: anything to update?
};

CaseCache& Cache()
{
    // Never destroyed: threads may still look names up while the process exits.
    static CaseCache* s_pCache = new CaseCache;
    return *s_pCache;
}

bool IsMissing(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

std::string LowerName(const std::string& name)
{
    std::string lower(name);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

std::string JoinName(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool SameStamp(const PosixFolderStamp& a, const PosixFolderStamp& b)
{
    return memcmp(&a, &b, sizeof(a)) == 0;
}

bool StampFolder(const std::string& folder, PosixFolderStamp* pStamp, bool* pbSettled = nullptr)
{
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode))
    {
        errno = ENOTDIR;
        return false;
    }
    *pStamp =
        PosixFolderStamp{static_cast<uint64_t>(st.st_dev),        static_cast<uint64_t>(st.st_ino),
                         static_cast<int64_t>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                         static_cast<int64_t>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec};
    if (pbSettled)
    {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        *pbSettled = st.st_mtim.tv_sec + kSettledSeconds < now.tv_sec;
    }
    return true;
}

// Every name of the folder. The stamp is taken first, so a change while the
// names are read leaves a stamp that no longer matches.
bool ReadFolder(const std::string& folder, Folder* pFolder)
{
    if (!StampFolder(folder, &pFolder->m_stamp, &pFolder->m_bSettled)) return false;
    DIR* pDir = opendir(folder.c_str());
    if (!pDir) return false;
    for (;;)
    {
        errno = 0;
        const struct dirent* pEntry = readdir(pDir);
        if (!pEntry) break;
        const char* pszName = pEntry->d_name;
        if (strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0) continue;
        pFolder->m_names.push_back(FolderName{LowerName(pszName), pszName});
    }
    const int err = errno;
    closedir(pDir);
    if (err)
    {
        errno = err;
        return false;
    }
    std::sort(pFolder->m_names.begin(), pFolder->m_names.end());
    pFolder->m_bListed = true;
    return true;
}

// The entry the name stands for: the exact spelling, else the first in byte
// order of those that differ only in case.
const FolderName* FindName(const Folder& folder, const std::string& name)
{
    const FolderName key{LowerName(name), std::string()};
    auto it = std::lower_bound(folder.m_names.begin(), folder.m_names.end(), key);
    const FolderName* pFirst = nullptr;
    for (; it != folder.m_names.end() && it->m_lower == key.m_lower; ++it)
    {
        if (!pFirst) pFirst = &*it;
        if (it->m_name == name) return &*it;
    }
    return pFirst;
}

// Callers hold the lock exclusively.
void EraseFolder(CaseCache& cache, std::unordered_map<std::string, Folder>::iterator it)
{
    cache.m_cNames -= it->second.m_names.size();
    cache.m_folders.erase(it);
    cache.m_cFolders.store(cache.m_folders.size(), std::memory_order_relaxed);
}

// Drops the folder and everything known below it. Callers hold the lock
// exclusively.
void ForgetTree(CaseCache& cache, const std::string& folder)
{
    const std::string below = folder == "/" ? folder : folder + "/";
    for (auto it = cache.m_folders.begin(); it != cache.m_folders.end();)
    {
        auto next = std::next(it);
        if (it->first == folder || it->first.compare(0, below.size(), below) == 0)
            EraseFolder(cache, it);
        it = next;
    }
}

// Drops what is known of every folder on the way to an absolute path, and
// below it: something along it turned out gone.
void ForgetAlong(const std::string& path)
{
    CaseCache& cache = Cache();
    std::unique_lock<std::shared_mutex> lock(cache.m_lock);
    ForgetTree(cache, path);
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    {
        auto it = cache.m_folders.find(path.substr(0, at));
        if (it != cache.m_folders.end()) EraseFolder(cache, it);
    }
    auto it = cache.m_folders.find("/");
    if (it != cache.m_folders.end()) EraseFolder(cache, it);
}

// Keeps a folder's names, or (without names) that it exists as spelled.
void Store(const std::string& folder, Folder&& known)
{
    CaseCache& cache = Cache();
    std::unique_lock<std::shared_mutex> lock(cache.m_lock);
    auto it = cache.m_folders.find(folder);
    if (it != cache.m_folders.end())
    {
        if (!known.m_bListed) return;
        EraseFolder(cache, it);
    }
    if (cache.m_folders.size() >= kMaxFolders || cache.m_cNames + known.m_names.size() > kMaxNames)
    {
        cache.m_folders.clear();
        cache.m_cNames = 0;
    }
    cache.m_cNames += known.m_names.size();
    cache.m_folders.emplace(folder, std::move(known));
    cache.m_cFolders.store(cache.m_folders.size(), std::memory_order_relaxed);
}

enum Lookup
{
    LOOKUP_HIT,       // *pMatch names the entry
    LOOKUP_MISS,      // the folder holds no such name
    LOOKUP_NO_FOLDER, // the folder cannot be searched (errno says why)
};

struct WalkState
{
    bool m_bStale = false; // a folder matched on the way is gone: walk again from scratch
    bool m_bStamped = false;
    PosixFolderStamp m_stamp = {}; // of the folder of the last miss
};

Lookup LookUp(const std::string& folder, const std::string& name, std::string* pMatch,
              WalkState* pState)
{
    CaseCache& cache = Cache();
    bool bKnown = false;
    bool bListed = false;
    bool bSettled = false;
    PosixFolderStamp known = {};
    {
        std::shared_lock<std::shared_mutex> lock(cache.m_lock);
        auto it = cache.m_folders.find(folder);
        if (it != cache.m_folders.end())
        {
            bKnown = true;
            if (it->second.m_bListed)
            {
                if (const FolderName* pFound = FindName(it->second, name))
                {
                    *pMatch = pFound->m_name;
                    return LOOKUP_HIT;
                }
                bListed = true;
                bSettled = it->second.m_bSettled;
                known = it->second.m_stamp;
            }
        }
    }

    if (!bListed)
    {
        // Nothing known of its names: the exact one is one call away and wins
        // when it is there.
        struct stat st;
        if (lstat(JoinName(folder, name).c_str(), &st) == 0)
        {
            if (!bKnown) Store(folder, Folder());
            *pMatch = name;
            return LOOKUP_HIT;
        }
        if (errno != ENOENT) return LOOKUP_NO_FOLDER;
    }
    else
    {
        // A miss: unless the folder changed since it was read, the names are
        // still all there is.
        PosixFolderStamp now;
        if (!StampFolder(folder, &now)) return LOOKUP_NO_FOLDER;
        if (bSettled && SameStamp(now, known))
        {
            pState->m_bStamped = true;
            pState->m_stamp = known;
            return LOOKUP_MISS;
        }
    }

    Folder fresh;
    if (!ReadFolder(folder, &fresh))
    {
        // There, but its names cannot be read: nothing matches.
        return IsMissing(errno) ? LOOKUP_NO_FOLDER : LOOKUP_MISS;
    }
    Lookup result = LOOKUP_MISS;
    if (const FolderName* pFound = FindName(fresh, name))
    {
        *pMatch = pFound->m_name;
        result = LOOKUP_HIT;
    }
    else
    {
        pState->m_bStamped = true;
        pState->m_stamp = fresh.m_stamp;
    }
    Store(folder, std::move(fresh));
    return result;
}

// The absolute form of a path ('/' separators), and the current directory
// put in front of it (empty when it was absolute already).
bool AbsolutePath(const char* pszPath, std::string* pAbsolute, std::string* pCwd)
{
    pCwd->clear();
    if (pszPath[0] == '/')
    {
        *pAbsolute = pszPath;
        return true;
    }
    char szCwd[PATH_MAX];
    if (!getcwd(szCwd, sizeof(szCwd))) return false;
    *pCwd = szCwd;
    *pAbsolute = *pCwd + "/" + pszPath;
    return true;
}

// The names of an absolute path; empty ones and "." are left out, ".." is
// kept as a name (it may follow a link, so it is the system's to resolve).
std::vector<std::string> SplitNames(const std::string& path)
{
    std::vector<std::string> names;
    size_t begin = 0;
    while (begin < path.size())
    {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) end = path.size();
        if (end > begin && path.compare(begin, end - begin, ".") != 0)
            names.push_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    return names;
}

std::string JoinNames(const std::vector<std::string>& names, size_t count)
{
    std::string path = "/";
    for (size_t i = 0; i < count; ++i)
        path = JoinName(path, names[i]);
    return path;
}

// The absolute folder of a path's last name, and that name.
bool KeyOf(const char* pszPath, std::string* pFolderKey, std::string* pName)
{
    std::string absolute, cwd;
    if (!AbsolutePath(pszPath, &absolute, &cwd)) return false;
    const std::vector<std::string> names = SplitNames(absolute);
    if (names.empty()) return false;
    *pFolderKey = JoinNames(names, names.size() - 1);
    *pName = names.back();
    return true;
}

enum Fold
{
    FOLD_NONE,   // a folder on the way matches nothing
    FOLD_FOLDER, // the folder is found; its last name matches nothing
    FOLD_FOUND,  // every name matched
};

Fold Walk(const std::vector<std::string>& names, bool bSkipKnown, PosixPathUse* pUse,
          WalkState* pState)
{
    CaseCache& cache = Cache();
    std::string real = "/";
    size_t i = 0;
    if (bSkipKnown && names.size() > 1)
    {
        // Start below the deepest folder already known to exist as spelled.
        std::string prefix = JoinNames(names, names.size() - 1);
        std::shared_lock<std::shared_mutex> lock(cache.m_lock);
        for (size_t n = names.size() - 1; n > 0; --n)
        {
            if (cache.m_folders.count(prefix))
            {
                real = prefix;
                i = n;
                break;
            }
            prefix.resize(prefix.rfind('/') == 0 ? 1 : prefix.rfind('/'));
        }
    }

    for (; i < names.size(); ++i)
    {
        const bool bLast = i + 1 == names.size();
        std::string match;
        if (names[i] == "..")
        {
            match = names[i];
        }
        else
        {
            const Lookup lookup = LookUp(real, names[i], &match, pState);
            if (lookup == LOOKUP_NO_FOLDER && errno == ENOENT && i > 0)
            {
                // Matched one step up, yet gone: what told us so is out of date.
                pState->m_bStale = true;
                ForgetAlong(real);
            }
            if (lookup == LOOKUP_NO_FOLDER || (lookup == LOOKUP_MISS && !bLast)) return FOLD_NONE;
            if (lookup == LOOKUP_MISS)
            {
                pUse->m_folderKey = real;
                pUse->m_name = names[i];
                return FOLD_FOLDER;
            }
        }
        if (bLast)
        {
            pUse->m_folderKey = real;
            pUse->m_name = match;
        }
        real = JoinName(real, match);
    }
    return names.empty() ? FOLD_NONE : FOLD_FOUND;
}

Fold FoldPath(const char* pszPath, bool bSkipKnown, PosixPathUse* pUse)
{
    std::string absolute, cwd;
    if (!AbsolutePath(pszPath, &absolute, &cwd)) return FOLD_NONE;
    const std::vector<std::string> names = SplitNames(absolute);
    WalkState state;
    Fold fold = Walk(names, bSkipKnown, pUse, &state);
    if (state.m_bStale)
    {
        state = WalkState();
        fold = Walk(names, false, pUse, &state);
    }
    if (fold == FOLD_NONE) return fold;
    pUse->m_bStamped = fold == FOLD_FOLDER && state.m_bStamped;
    pUse->m_stamp = state.m_stamp;

    // The spelling on disk, relative again when the caller's path was: the
    // current directory's own names are its spelling on disk already.
    std::string folded = JoinName(pUse->m_folderKey, pUse->m_name);
    if (!cwd.empty())
    {
        const std::vector<std::string> cwdNames = SplitNames(cwd);
        const std::string base = JoinNames(cwdNames, cwdNames.size());
        if (base == "/")
            folded.erase(0, 1);
        else if (folded.compare(0, base.size() + 1, base + "/") == 0)
            folded.erase(0, base.size() + 1);
    }
    pUse->m_folded = std::move(folded);
    return fold;
}

} // namespace

int Posix_CallOnPath(const char* pszPath, PosixPathCall pfnExisting, PosixPathCall pfnCreate,
                     void* pContext, PosixPathUse* pUse)
{
    pUse->m_pszPath = pszPath;
    pUse->m_bFolderFound = true;
    pUse->m_bNewName = false;
    pUse->m_bStamped = false;
    int result = pfnExisting(pszPath, pContext);
    if (result >= 0 || !IsMissing(errno)) return result;

    int err = errno;
    // A second pass only when the first one's answer was gone by the time
    // the call ran: what was known along it is dropped and read again.
    for (int nPass = 0; nPass < 2; ++nPass)
    {
        const Fold fold = FoldPath(pszPath, nPass == 0, pUse);
        pUse->m_bFolderFound = fold != FOLD_NONE;
        const PosixPathCall pfn = fold == FOLD_FOUND    ? pfnExisting
                                  : fold == FOLD_FOLDER ? pfnCreate
                                                        : nullptr;
        if (!pfn) break;
        result = pfn(pUse->m_folded.c_str(), pContext);
        if (result >= 0)
        {
            pUse->m_pszPath = pUse->m_folded.c_str();
            pUse->m_bNewName = fold == FOLD_FOLDER;
            return result;
        }
        err = errno;
        if (!IsMissing(err)) break;
        ForgetAlong(JoinName(pUse->m_folderKey, pUse->m_name));
    }
    errno = err;
    return -1;
}

void Posix_NoteCreated(const PosixPathUse& use)
{
    CaseCache& cache = Cache();
    if (cache.m_cFolders.load(std::memory_order_relaxed) == 0) return;
    std::string folderKey, name;
    if (use.m_pszPath == use.m_folded.c_str())
    {
        folderKey = use.m_folderKey;
        name = use.m_name;
    }
    else if (!KeyOf(use.m_pszPath, &folderKey, &name))
    {
        return;
    }
    PosixFolderStamp after;
    const bool bAfter = use.m_bNewName && use.m_bStamped && StampFolder(folderKey, &after);

    std::unique_lock<std::shared_mutex> lock(cache.m_lock);
    ForgetTree(cache, JoinName(folderKey, name));
    auto it = cache.m_folders.find(folderKey);
    if (it == cache.m_folders.end() || !it->second.m_bListed) return;
    Folder& folder = it->second;
    FolderName added{LowerName(name), name};
    auto at = std::lower_bound(folder.m_names.begin(), folder.m_names.end(), added);
    if (at == folder.m_names.end() || at->m_name != added.m_name)
    {
        folder.m_names.insert(at, std::move(added));
        ++cache.m_cNames;
    }
    // The names were checked against the folder just before the call made
    // its entry, so they are complete again as of the new stamp. Only a
    // change by someone else within the file system's time resolution of
    // this one would go unseen.
    if (bAfter && SameStamp(folder.m_stamp, use.m_stamp))
    {
        folder.m_stamp = after;
        folder.m_bSettled = true;
    }
}

void Posix_NoteRemoved(const char* pszPath)
{
    CaseCache& cache = Cache();
    if (cache.m_cFolders.load(std::memory_order_relaxed) == 0) return;
    std::string folderKey, name;
    if (!KeyOf(pszPath, &folderKey, &name)) return;

    std::unique_lock<std::shared_mutex> lock(cache.m_lock);
    ForgetTree(cache, JoinName(folderKey, name));
    auto it = cache.m_folders.find(folderKey);
    if (it == cache.m_folders.end() || !it->second.m_bListed) return;
    std::vector<FolderName>& names = it->second.m_names;
    const FolderName key{LowerName(name), name};
    auto at = std::lower_bound(names.begin(), names.end(), key);
    if (at != names.end() && at->m_name == name)
    {
        names.erase(at);
        --cache.m_cNames;
    }
}
