#include "airvane/platform/RegistryBackend.h"

#include "airvane/platform/internal/Guard.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>
#include <vector>

// The registry is kept in one SQLite database file. Keys form one tree per root handle; a
// key row names its parent row, the root row of each tree has parent 0 and an empty name.
// Key and value names use the NOCASE collation: they compare case-insensitively (ASCII
// letters only) and keep the case they were first written with.
//
// Subkey paths use "\" between components. A null or empty path names the root key itself.
// One trailing "\" is ignored ("A\B\" is "A\B"); any other empty component (a leading "\",
// or "\\" inside the path) makes the path invalid, and a component longer than 255 bytes
// too. Invalid paths give Failure.
//
// The store holds keys: a store that others could read, or a folder where others could
// replace it, is refused; a store file of this user that others could read is made 0600
// first. A symbolic link to the store is resolved and its target checked the same way.
//
// Every open makes its own connection (the store location is read again each time, and
// nothing is shared between handles or across fork). Writes are single IMMEDIATE
// transactions; a busy handler lets several processes share the file. A file that is not
// a database of this store is never written: it is only ever read by statements that fail
// on a non-database, and the schema is created only in an empty database.

namespace airvane::platform {

// A key handle may be used by several threads at once, as a system key handle may: each
// request holds the handle's lock for its transaction.
struct stRegKey {
    sqlite3* db = nullptr;
    std::uint32_t root = 0;
    std::vector<std::string> path; // components below the root
    bool writable = false;
    bool readable = false; // a key opened for writing only sets values
    std::mutex lock;
};

namespace {

constexpr const char* kStoreVariable = "AIRVANE_REGISTRY";
constexpr const char* kConfigHomeVariable = "XDG_CONFIG_HOME";
constexpr const char* kHomeVariable = "HOME";
constexpr const char* kDefaultConfigFolder = "/.config";
constexpr const char* kStoreInConfig = "/airvane/registry.db";

constexpr char kSeparator = '\\';
constexpr std::size_t kMaxComponent = 255;

constexpr int kBusyTimeoutMs = 5000;
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

// Marks a database as this store ("AVRG").
constexpr sqlite3_int64 kApplicationId = 0x41565247;
constexpr sqlite3_int64 kSchemaVersion = 1;

constexpr const char* kCreateSchema = "CREATE TABLE reg_key("
                                      " id INTEGER PRIMARY KEY,"
                                      " root INTEGER NOT NULL,"
                                      " parent INTEGER NOT NULL,"
                                      " name TEXT NOT NULL COLLATE NOCASE,"
                                      " UNIQUE(root, parent, name));"
                                      "CREATE TABLE reg_value("
                                      " key_id INTEGER NOT NULL,"
                                      " name TEXT NOT NULL COLLATE NOCASE,"
                                      " type INTEGER NOT NULL,"
                                      " data BLOB NOT NULL,"
                                      " PRIMARY KEY(key_id, name)) WITHOUT ROWID;"
                                      "PRAGMA application_id = 1096176199;" // kApplicationId
                                      "PRAGMA user_version = 1;";           // kSchemaVersion
static_assert(kApplicationId == 1096176199, "schema text and constant disagree");

constexpr const char* kReadApplicationId = "PRAGMA application_id";
constexpr const char* kReadSchemaVersion = "PRAGMA user_version";
constexpr const char* kCountSchemaObjects = "SELECT count(*) FROM sqlite_master";
constexpr const char* kFindKey = "SELECT id FROM reg_key WHERE root = ?1 AND parent = ?2 AND name = ?3";
constexpr const char* kInsertKey = "INSERT INTO reg_key(root, parent, name) VALUES(?1, ?2, ?3)";
constexpr const char* kUpsertValue = "INSERT INTO reg_value(key_id, name, type, data) VALUES(?1, ?2, ?3, ?4)"
                                     " ON CONFLICT(key_id, name) DO UPDATE SET type = excluded.type,"
                                     " data = excluded.data";
constexpr const char* kSelectValue = "SELECT type, data FROM reg_value WHERE key_id = ?1 AND name = ?2";
constexpr const char* kBeginRead = "BEGIN";
constexpr const char* kBeginWrite = "BEGIN IMMEDIATE";
constexpr const char* kCommit = "COMMIT";
constexpr const char* kRollback = "ROLLBACK";

// A prepared statement, finalized when it goes away.
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
    }
    ~CStatement() { sqlite3_finalize(m_stmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    sqlite3_stmt* Get() const { return m_stmt; }
    bool IsValid() const { return m_stmt != nullptr; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// A transaction rolled back unless committed.
class CTransaction {
public:
    CTransaction(sqlite3* db, bool write)
        : m_db(db), m_active(sqlite3_exec(db, write ? kBeginWrite : kBeginRead, nullptr, nullptr, nullptr) ==
                             SQLITE_OK) {}
    ~CTransaction() {
        if (m_active) {
            sqlite3_exec(m_db, kRollback, nullptr, nullptr, nullptr);
        }
    }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    bool IsActive() const { return m_active; }
    bool Commit() {
        if (!m_active || sqlite3_exec(m_db, kCommit, nullptr, nullptr, nullptr) != SQLITE_OK) {
            return false;
        }
        m_active = false;
        return true;
    }

private:
    sqlite3* m_db;
    bool m_active;
};

// Location of the store, read afresh at every open. False when no location can be made.
bool StorePath(std::string& path) {
    const char* store = std::getenv(kStoreVariable);
    if (store != nullptr && *store != '\0') {
        path = store;
    } else {
        const char* configHome = std::getenv(kConfigHomeVariable);
        if (configHome != nullptr && configHome[0] == '/') {
            path = configHome;
        } else {
            const char* home = std::getenv(kHomeVariable);
            if (home == nullptr || *home == '\0') {
                return false;
            }
            path = std::string(home) + kDefaultConfigFolder;
        }
        path += kStoreInConfig;
    }
    // SQLite gives some relative names a meaning of their own (":memory:" is a database that
    // vanishes with its connection, "file:..." a URI); a leading "./" keeps every one a file.
    if (path[0] != '/') {
        path.insert(0, "./");
    }
    return true;
}

// The folder part of a file path ("." for a bare name).
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Resolves a symbolic link to the store and checks that nobody else can read the store or
// replace it: a folder that others may write to (without the sticky bit) is refused, and so
// is a file that others may read or write, unless it belongs to this user: then it is made
// 0600 before anything is read from it or written to it. `path` becomes the resolved path.
bool SecureStore(std::string& path) {
    struct stat link;
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            return false; // a dangling link would make the store wherever it points
        }
        path = resolved;
        std::free(resolved);
    }
    struct stat folder;
    if (::stat(FolderOf(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
        ((folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (folder.st_mode & S_ISVTX) == 0)) {
        return false;
    }
    struct stat file;
    if (::stat(path.c_str(), &file) != 0) {
        return errno == ENOENT;
    }
    if (!S_ISREG(file.st_mode)) {
        return false;
    }
    if ((file.st_mode & (S_IRWXG | S_IRWXO)) == 0) {
        return true;
    }
    return file.st_uid == ::geteuid() && ::chmod(path.c_str(), kFileMode) == 0;
}

// Creates the missing folders above `path` (mode 0700) and, once SecureStore accepts the
// place (resolving `path` when it is a link), the file itself (mode 0600). Existing folders
// are left as they are.
bool EnsureStoreFile(std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat info;
        if (::stat(folder.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                return false;
            }
            continue;
        }
        if (errno != ENOENT) {
            return false;
        }
        if (::mkdir(folder.c_str(), kFolderMode) == 0) {
            ::chmod(folder.c_str(), kFolderMode); // exact mode whatever the umask
        } else if (errno != EEXIST) {
            return false;
        }
    }
    if (!SecureStore(path)) {
        return false;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        return S_ISREG(info.st_mode);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kFileMode);
    if (fd < 0) {
        return errno == EEXIST; // another process made it first
    }
    ::fchmod(fd, kFileMode);
    ::close(fd);
    return true;
}

long long MonotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Busy handler: retries a lock for up to kBusyTimeoutMs, polling every millisecond or so.
// SQLite's own timeout backs off to 100 ms between attempts, so a process that keeps
// writing can take the lock again and again while a waiting one sleeps, and starve it past
// the timeout; short polls with a little jitter give every waiter its turn.
// Once a wait has run out, the store counts as locked for the next kBusyTimeoutMs on this
// thread: a value write opens, creates and sets one after the other, and a held lock must
// fail the whole write within one timeout instead of once per step.
int RetryWhileBusy(void*, int attempt) {
    thread_local long long firstAttempt = 0;
    thread_local long long gaveUpAt = 0;
    thread_local bool gaveUp = false;
    const long long now = MonotonicMilliseconds();
    if (attempt == 0) {
        firstAttempt = now;
    }
    if (gaveUp && now - gaveUpAt < kBusyTimeoutMs) {
        return 0;
    }
    if (now - firstAttempt >= kBusyTimeoutMs) {
        gaveUp = true;
        gaveUpAt = now;
        return 0;
    }
    const timespec pause{0, (500 + (attempt * 7919) % 1000) * 1000L}; // 0.5 to 1.5 ms
    ::nanosleep(&pause, nullptr);
    return 1;
}

RegResult OpenConnection(const std::string& path, bool writable, sqlite3*& db) {
    db = nullptr;
    // A reader still opens the file for writing when it may: after a writer was killed in
    // the middle of a transaction, the first connection that reads must roll the leftover
    // journal back, and a read-only connection cannot.
    const bool openForWriting = writable || ::access(path.c_str(), W_OK) == 0;
    const int flags = (openForWriting ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
        return RegResult::Failure;
    }
    sqlite3_busy_handler(db, RetryWhileBusy, nullptr);
    return RegResult::Success;
}

bool ReadInteger(sqlite3* db, const char* sql, sqlite3_int64& value) {
    CStatement statement(db, sql);
    if (!statement.IsValid() || sqlite3_step(statement.Get()) != SQLITE_ROW) {
        return false;
    }
    value = sqlite3_column_int64(statement.Get(), 0);
    return true;
}

enum class enStoreState { Ours, Empty, Unusable };

// Tells an empty database from one of this store, and both from anything else. Each
// statement reads the file header, so on a file that is not a database they fail.
enStoreState ReadStoreState(sqlite3* db) {
    sqlite3_int64 applicationId = 0;
    sqlite3_int64 objects = 0;
    sqlite3_int64 version = 0;
    if (!ReadInteger(db, kReadApplicationId, applicationId) ||
        !ReadInteger(db, kCountSchemaObjects, objects) || !ReadInteger(db, kReadSchemaVersion, version)) {
        return enStoreState::Unusable;
    }
    if (applicationId == kApplicationId && version == kSchemaVersion) {
        return enStoreState::Ours;
    }
    if (applicationId == 0 && version == 0 && objects == 0) {
        return enStoreState::Empty;
    }
    return enStoreState::Unusable;
}

// Splits a subkey path into its components (see the rules at the top of this file).
bool SplitKeyPath(const char* subKey, std::vector<std::string>& parts) {
    parts.clear();
    if (subKey == nullptr || *subKey == '\0') {
        return true;
    }
    std::string text(subKey);
    if (text.size() > 1 && text.back() == kSeparator) {
        text.pop_back();
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kSeparator, start);
        const std::size_t length = (end == std::string::npos ? text.size() : end) - start;
        if (length == 0 || length > kMaxComponent) {
            return false;
        }
        parts.push_back(text.substr(start, length));
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

bool BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC) ==
           SQLITE_OK;
}

// Finds the row of one key. When `create` is set, missing rows (and so missing ancestors)
// are inserted; otherwise a missing key gives NotFound. The root key always exists, but
// its row may not yet: then `id` is 0.
RegResult FindKey(sqlite3* db, std::uint32_t root, const std::vector<std::string>& parts, bool create,
                  sqlite3_int64& id) {
    CStatement find(db, kFindKey);
    CStatement insert(db, kInsertKey);
    if (!find.IsValid() || !insert.IsValid()) {
        return RegResult::Failure;
    }
    const std::string rootName;
    sqlite3_int64 parent = 0;
    for (std::size_t level = 0; level <= parts.size(); ++level) {
        const std::string& name = level == 0 ? rootName : parts[level - 1];
        sqlite3_reset(find.Get());
        if (sqlite3_bind_int64(find.Get(), 1, root) != SQLITE_OK ||
            sqlite3_bind_int64(find.Get(), 2, parent) != SQLITE_OK || !BindText(find.Get(), 3, name)) {
            return RegResult::Failure;
        }
        const int step = sqlite3_step(find.Get());
        if (step == SQLITE_ROW) {
            parent = sqlite3_column_int64(find.Get(), 0);
            continue;
        }
        if (step != SQLITE_DONE) {
            return RegResult::Failure;
        }
        if (!create) {
            if (level == 0 && parts.empty()) {
                id = 0;
                return RegResult::Success;
            }
            return RegResult::NotFound;
        }
        sqlite3_reset(insert.Get());
        if (sqlite3_bind_int64(insert.Get(), 1, root) != SQLITE_OK ||
            sqlite3_bind_int64(insert.Get(), 2, parent) != SQLITE_OK || !BindText(insert.Get(), 3, name) ||
            sqlite3_step(insert.Get()) != SQLITE_DONE) {
            return RegResult::Failure;
        }
        parent = sqlite3_last_insert_rowid(db);
    }
    id = parent;
    return RegResult::Success;
}

// Opens the connection of a key's store; when creating, the store is made first if missing.
RegResult OpenStore(std::string& path, bool create, bool writable, sqlite3*& db) {
    if (create) {
        return EnsureStoreFile(path) ? OpenConnection(path, true, db) : RegResult::Failure;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        // A missing store holds no keys; opening must not create it.
        return errno == ENOENT ? RegResult::NotFound : RegResult::Failure;
    }
    return SecureStore(path) ? OpenConnection(path, writable, db) : RegResult::Failure;
}

// Checks (or, when creating, makes) the schema and the key, in one transaction.
RegResult PrepareKey(const stRegKey& key, bool create) {
    CTransaction transaction(key.db, create);
    if (!transaction.IsActive()) {
        return RegResult::Failure;
    }
    const enStoreState state = ReadStoreState(key.db);
    if (state == enStoreState::Empty && !create) {
        return RegResult::NotFound;
    }
    if (state == enStoreState::Empty) {
        if (sqlite3_exec(key.db, kCreateSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
            return RegResult::Failure;
        }
    } else if (state != enStoreState::Ours) {
        return RegResult::Failure;
    }
    sqlite3_int64 id = 0;
    const RegResult found = FindKey(key.db, key.root, key.path, create, id);
    if (found != RegResult::Success) {
        return found;
    }
    return transaction.Commit() ? RegResult::Success : RegResult::Failure;
}

// Opens the connection of a key and checks (or, when creating, makes) the key; the key is left
// without a connection when that fails.
RegResult ConnectKey(stRegKey& key, bool create) {
    std::string path;
    if (!StorePath(path)) {
        return RegResult::Failure;
    }
    const RegResult opened = OpenStore(path, create, key.writable, key.db);
    const RegResult prepared = opened == RegResult::Success ? PrepareKey(key, create) : opened;
    if (prepared != RegResult::Success) {
        sqlite3_close(key.db);
        key.db = nullptr;
    }
    return prepared;
}

// Opens a key. A root key always exists, as the system's do: while the store is missing or
// still empty it opens without a connection, and connects when it is first used (a value set
// through it makes the store).
RegResult OpenKeyHandle(std::uint32_t root, const char* subKey, bool create, bool writable,
                        RegKeyHandle& key) {
    key = nullptr;
    if (!IsPredefinedRoot(root)) {
        return RegResult::Failure;
    }
    RegKeyOwner handle(new (std::nothrow) stRegKey);
    if (handle == nullptr) {
        return RegResult::Failure;
    }
    const RegResult result = Guard(RegResult::Failure, [&] {
        handle->root = root;
        handle->writable = writable;
        handle->readable = create || !writable;
        if (!SplitKeyPath(subKey, handle->path)) {
            return RegResult::Failure;
        }
        const RegResult connected = ConnectKey(*handle, create);
        return connected == RegResult::NotFound && handle->path.empty() ? RegResult::Success : connected;
    });
    if (result == RegResult::Success) {
        key = handle.release();
    }
    return result;
}

// The row id of a key that is to be read: NotFound when the store is empty, or when the
// key is a root key without a row yet.
RegResult FindKeyForRead(const stRegKey& key, sqlite3_int64& id) {
    const enStoreState state = ReadStoreState(key.db);
    if (state == enStoreState::Empty) {
        return RegResult::NotFound;
    }
    if (state != enStoreState::Ours) {
        return RegResult::Failure;
    }
    const RegResult found = FindKey(key.db, key.root, key.path, false, id);
    if (found != RegResult::Success) {
        return found;
    }
    return id != 0 ? RegResult::Success : RegResult::NotFound;
}

// Hands out the type and bytes of the value row `select` stands on: the size alone when
// `data` is null, MoreData with the needed size when the buffer is too small.
RegResult CopyValue(sqlite3_stmt* select, std::uint32_t* type, void* data, std::uint32_t& size) {
    const sqlite3_int64 storedType = sqlite3_column_int64(select, 0);
    const void* bytes = sqlite3_column_blob(select, 1);
    const int count = sqlite3_column_bytes(select, 1);
    if (storedType < 0 || storedType > 0xFFFFFFFF || count < 0 || (bytes == nullptr && count != 0)) {
        return RegResult::Failure;
    }
    if (type != nullptr) {
        *type = static_cast<std::uint32_t>(storedType);
    }
    const std::uint32_t needed = static_cast<std::uint32_t>(count);
    if (data != nullptr && size < needed) {
        size = needed;
        return RegResult::MoreData;
    }
    if (data != nullptr && needed != 0) {
        std::memcpy(data, bytes, needed);
    }
    size = needed;
    return RegResult::Success;
}

} // namespace

RegResult RegistryCreateKey(std::uint32_t root, const char* subKey, RegKeyHandle& key) {
    return OpenKeyHandle(root, subKey, true, true, key);
}

RegResult RegistryOpenKey(std::uint32_t root, const char* subKey, bool forWrite, RegKeyHandle& key) {
    return OpenKeyHandle(root, subKey, false, forWrite, key);
}

RegResult RegistrySetValue(RegKeyHandle key, const char* valueName, std::uint32_t type, const void* data,
                           std::uint32_t size) {
    if (key == nullptr || !key->writable || (data == nullptr && size != 0) ||
        size > static_cast<std::uint32_t>(INT_MAX)) {
        return RegResult::Failure;
    }
    return Guard(RegResult::Failure, [&] {
        const std::lock_guard<std::mutex> hold(key->lock);
        if (key->db == nullptr && ConnectKey(*key, true) != RegResult::Success) {
            return RegResult::Failure;
        }
        const std::string name(valueName != nullptr ? valueName : "");
        CTransaction transaction(key->db, true);
        if (!transaction.IsActive() || ReadStoreState(key->db) != enStoreState::Ours) {
            return RegResult::Failure;
        }
        sqlite3_int64 id = 0;
        // The key existed when the handle was opened; only the root row may still be missing.
        if (FindKey(key->db, key->root, key->path, true, id) != RegResult::Success) {
            return RegResult::Failure;
        }
        CStatement upsert(key->db, kUpsertValue);
        if (!upsert.IsValid() || sqlite3_bind_int64(upsert.Get(), 1, id) != SQLITE_OK ||
            !BindText(upsert.Get(), 2, name) || sqlite3_bind_int64(upsert.Get(), 3, type) != SQLITE_OK) {
            return RegResult::Failure;
        }
        // A zero-length blob must still be a blob: binding a null pointer would store NULL.
        const int bound =
            size == 0 ? sqlite3_bind_zeroblob(upsert.Get(), 4, 0)
                      : sqlite3_bind_blob(upsert.Get(), 4, data, static_cast<int>(size), SQLITE_STATIC);
        if (bound != SQLITE_OK || sqlite3_step(upsert.Get()) != SQLITE_DONE) {
            return RegResult::Failure;
        }
        return transaction.Commit() ? RegResult::Success : RegResult::Failure;
    });
}

RegResult RegistryQueryValue(RegKeyHandle key, const char* valueName, std::uint32_t* type, void* data,
                             std::uint32_t& size) {
    if (key == nullptr || !key->readable) {
        return RegResult::Failure;
    }
    return Guard(RegResult::Failure, [&] {
        const std::lock_guard<std::mutex> hold(key->lock);
        if (key->db == nullptr) {
            const RegResult connected = ConnectKey(*key, false);
            if (connected != RegResult::Success) {
                return connected;
            }
        }
        const std::string name(valueName != nullptr ? valueName : "");
        CTransaction transaction(key->db, false);
        if (!transaction.IsActive()) {
            return RegResult::Failure;
        }
        sqlite3_int64 id = 0;
        const RegResult found = FindKeyForRead(*key, id);
        if (found != RegResult::Success) {
            return found;
        }
        CStatement select(key->db, kSelectValue);
        if (!select.IsValid() || sqlite3_bind_int64(select.Get(), 1, id) != SQLITE_OK ||
            !BindText(select.Get(), 2, name)) {
            return RegResult::Failure;
        }
        const int step = sqlite3_step(select.Get());
        if (step != SQLITE_ROW) {
            return step == SQLITE_DONE ? RegResult::NotFound : RegResult::Failure;
        }
        return CopyValue(select.Get(), type, data, size);
    });
}

void RegistryCloseKey(RegKeyHandle key) {
    if (key == nullptr) {
        return;
    }
    sqlite3_close(key->db);
    delete key;
}

} // namespace airvane::platform
