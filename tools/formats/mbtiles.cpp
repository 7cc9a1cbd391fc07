// The database is written with SQLite's rollback journal off and without its own flushes:
// it is a new file that nobody reads until it is renamed into place, and a run that fails
// removes it, so neither a torn transaction nor a crash can leave a database anyone opens.
// The temporary file is flushed once, by the rename (zumeld/util/ReplaceFile.h).
#include "mbtiles.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "error.h"
#include "zumeld/util/ReplaceFile.h"

namespace zumeld_formats {

namespace {

constexpr int kTilesPerTransaction = 512;

// The one error path: a failed SQLite call throws Error naming the file, with SQLite's
// reason and the system's where a system call failed underneath.
[[noreturn]] void Fail(sqlite3* db, const std::string& path) {
    std::string why = db ? sqlite3_errmsg(db) : "cannot open the database";
    if (const int err = db ? sqlite3_system_errno(db) : 0)
        why += std::string(" (") + std::strerror(err) + ")";
    throw Error(path, why);
}

// The connection, closed when the object goes (after every statement on it).
struct Database {
    sqlite3* db = nullptr;
    std::string path;  // the target, for messages
    ~Database() { sqlite3_close(db); }
    void Check(int rc) const {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) Fail(db, path);
    }
    void Exec(const char* sql) const { Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }
};

// A prepared statement: bound, stepped and reset, finalized when the object goes.
class Statement {
  public:
    Statement(const Database& db, const char* sql) : db_(db) {
        db_.Check(sqlite3_prepare_v2(db.db, sql, -1, &stmt_, nullptr));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int i, std::int64_t v) {
        db_.Check(sqlite3_bind_int64(stmt_, i, v));
        return *this;
    }
    // The text and blob must outlive the step.
    Statement& Bind(int i, std::string_view text) {
        db_.Check(
            sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
        return *this;
    }
    Statement& BindBlob(int i, const std::vector<std::uint8_t>& bytes) {
        db_.Check(sqlite3_bind_blob64(stmt_, i, bytes.data(), bytes.size(), SQLITE_STATIC));
        return *this;
    }
    // Steps once: true when a row is ready (read it before Reset).
    bool Step() {
        const int rc = sqlite3_step(stmt_);
        db_.Check(rc);
        return rc == SQLITE_ROW;
    }
    std::string_view Blob(int column) const {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
    }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

  private:
    const Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// The MBTiles layout in which a tile names its image, so that identical tiles share one.
// Readers query the view `tiles`.
constexpr const char* kSchema =
    "PRAGMA application_id = 1297105496;"  // 'MPBX', as MBTiles 1.3 suggests
    "CREATE TABLE metadata (name TEXT, value TEXT);"
    "CREATE UNIQUE INDEX name ON metadata (name);"
    "CREATE TABLE map (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_id TEXT);"
    "CREATE UNIQUE INDEX map_index ON map (zoom_level, tile_column, tile_row);"
    "CREATE TABLE images (tile_id TEXT, tile_data BLOB);"
    "CREATE UNIQUE INDEX images_id ON images (tile_id);"
    "CREATE VIEW tiles AS SELECT map.zoom_level AS zoom_level, map.tile_column AS tile_column,"
    " map.tile_row AS tile_row, images.tile_data AS tile_data"
    " FROM map JOIN images ON images.tile_id = map.tile_id;";

std::string_view View(const std::vector<std::uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

struct MbtilesWriter::Impl {
    // Destroyed in reverse: the statements, the connection, then the temporary file.
    Zumeld::FileReplacement file;
    Database db;
    std::unique_ptr<Statement> addMetadata, addTile, addImage, findImage;
    // Stored images by a hash of their bytes; a hash match is compared byte for byte.
    std::unordered_multimap<std::size_t, std::uint64_t> images;
    std::uint64_t tiles = 0, imageCount = 0;
    int inTransaction = 0;

    void Prepare() {
        addMetadata = std::make_unique<Statement>(db, "INSERT INTO metadata VALUES (?, ?)");
        addTile = std::make_unique<Statement>(db, "INSERT INTO map VALUES (?, ?, ?, ?)");
        addImage = std::make_unique<Statement>(db, "INSERT INTO images VALUES (?, ?)");
        findImage =
            std::make_unique<Statement>(db, "SELECT tile_data FROM images WHERE tile_id = ?");
    }

    // The number of a stored image with these bytes, or 0.
    std::uint64_t Find(std::size_t hash, const std::vector<std::uint8_t>& bytes) {
        const auto [first, last] = images.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            const std::string id = std::to_string(it->second);
            findImage->Bind(1, id);
            const bool same = findImage->Step() && findImage->Blob(0) == View(bytes);
            findImage->Reset();
            if (same) return it->second;
        }
        return 0;
    }
};

MbtilesWriter::MbtilesWriter(const std::string& path) : impl_(std::make_unique<Impl>()) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw Error(path, S_ISDIR(st.st_mode) ? "is a folder" : "an MBTiles file must be a file");
    if (const int err = impl_->file.Open(path.c_str())) throw Error(path, std::strerror(err));
    if (!impl_->file.Temporary()) throw Error(path, "an MBTiles file must be a file");
    Database& db = impl_->db;
    db.path = path;
    if (sqlite3_open_v2(impl_->file.Temporary(), &db.db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        Fail(db.db, path);
    db.Exec(
        "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
        "PRAGMA locking_mode = EXCLUSIVE;");
    db.Exec(kSchema);
    impl_->Prepare();
    db.Exec("BEGIN");
}

MbtilesWriter::~MbtilesWriter() = default;

void MbtilesWriter::SetMetadata(const std::string& name, const std::string& value) {
    impl_->addMetadata->Bind(1, name).Bind(2, value).Step();
    impl_->addMetadata->Reset();
}

void MbtilesWriter::AddTile(int z, std::int64_t x, std::int64_t y,
                            const std::vector<std::uint8_t>& bytes) {
    Impl& m = *impl_;
    const std::size_t hash = std::hash<std::string_view>{}(View(bytes));
    std::uint64_t image = m.Find(hash, bytes);
    if (image == 0) {
        image = ++m.imageCount;
        const std::string id = std::to_string(image);
        m.addImage->Bind(1, id).BindBlob(2, bytes).Step();
        m.addImage->Reset();
        m.images.emplace(hash, image);
    }
    const std::string id = std::to_string(image);
    m.addTile->Bind(1, z).Bind(2, x).Bind(3, TmsRow(z, y)).Bind(4, id).Step();
    m.addTile->Reset();
    ++m.tiles;
    if (++m.inTransaction == kTilesPerTransaction) {
        m.db.Exec("COMMIT; BEGIN");
        m.inTransaction = 0;
    }
}

void MbtilesWriter::Commit() {
    Impl& m = *impl_;
    m.db.Exec("COMMIT");
    m.addMetadata.reset();
    m.addTile.reset();
    m.addImage.reset();
    m.findImage.reset();
    if (sqlite3_close(m.db.db) != SQLITE_OK) Fail(m.db.db, m.db.path);
    m.db.db = nullptr;
    if (const int err = m.file.Commit()) throw Error(m.db.path, std::strerror(err));
}

std::uint64_t MbtilesWriter::Tiles() const {
    return impl_->tiles;
}

std::uint64_t MbtilesWriter::Images() const {
    return impl_->imageCount;
}

}  // namespace zumeld_formats
