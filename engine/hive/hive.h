#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hive/base_block.h"
#include "hive/cell_allocator.h"
#include "hive/error.h"
#include "hive/image.h"
#include "hive/log_recovery.h"
#include "hive/write_back.h"

namespace engine::hive {

// Where a key or a value lives: the offset of its cell.
struct KeyRef {
    std::uint32_t cell = 0;
    friend bool operator==(KeyRef, KeyRef) = default;
};
struct ValueRef {
    std::uint32_t cell = 0;
    friend bool operator==(ValueRef, ValueRef) = default;
};

enum class SubkeyListKind { IndexLeaf, FastLeaf, HashLeaf, IndexRoot };

// A key node as read from its cell.
struct KeyNode {
    KeyRef ref;
    std::uint16_t flags = 0;
    std::uint64_t lastWritten = 0;
    std::uint32_t parent = 0;
    std::uint32_t subkeyCount = 0;
    std::uint32_t subkeyList = 0;
    std::uint32_t valueCount = 0;
    std::uint32_t valueList = 0;
    std::uint32_t security = 0;
    std::uint32_t classCell = 0;
    std::uint16_t classLength = 0;
    bool compressedName = false;
    std::u16string name;
};

// A value as read from its cell (the data is read separately).
struct ValueNode {
    ValueRef ref;
    std::u16string name;
    std::uint32_t type = 0;
    std::uint32_t dataSize = 0; // without the inline flag
    bool dataInline = false;
    std::uint32_t dataCell = 0;
    bool compressedName = false;
};

// Registry value types with names of their own.
enum ValueType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegLink = 6,
    kRegMultiSz = 7,
    kRegQword = 11,
};

// An open hive file, read lazily: opening parses the header only, and a
// lookup reads just the cells on its way. Every cell is bounds- and
// type-checked as it is read, so a damaged hive gives an error, never a read
// outside the file.
class Hive {
public:
    static Result<Hive> open(const std::filesystem::path& file);
    static Result<Hive> fromBytes(std::span<const std::uint8_t> bytes, std::string name);
    // Opens a hive as Windows would load it: a dirty hive is recovered in
    // memory from its transaction logs first (the file is not written). Fails,
    // with the reason, when a dirty hive's logs cannot be applied.
    static Result<Hive> openRecovered(const std::filesystem::path& file);
    // What recovery did, when the hive was dirty.
    const std::optional<RecoveryReport>& recovery() const { return recovery_; }

    const std::string& fileName() const { return fileName_; }
    const BaseBlock& baseBlock() const { return header_; }
    bool dirty() const { return header_.dirty(); }
    // Bytes of hive bins that can be read: the header's size, cut to the file.
    std::uint32_t binsSize() const { return binsSize_; }
    const HiveImage& image() const { return image_; }

    KeyRef root() const { return KeyRef{header_.rootCell}; }

    Result<KeyNode> key(KeyRef ref) const;
    Result<ValueNode> value(ValueRef ref) const;
    Result<std::vector<std::uint8_t>> valueData(const ValueNode& value) const;
    Result<std::u16string> className(const KeyNode& key) const;

    // Direct subkeys in stored order, and values in value-list order.
    Result<std::vector<KeyRef>> subkeys(const KeyNode& key) const;
    Result<std::vector<ValueRef>> values(const KeyNode& key) const;

    // Lookups by name, compared as Windows compares them; nullopt when absent.
    Result<std::optional<KeyRef>> findSubkey(const KeyNode& parent, std::u16string_view name) const;
    Result<std::optional<ValueRef>> findValue(const KeyNode& key, std::u16string_view name) const;
    // A key by its path from the root, components separated by backslashes
    // (empty for the root itself).
    Result<std::optional<KeyRef>> findKey(std::string_view path) const;

    // The data of an allocated cell (without its size field), checked to lie
    // inside the hive bins.
    Result<std::span<const std::uint8_t>> cell(std::uint32_t offset) const;
    // Offsets of the leaves of a subkey list: itself, or an index root's.
    Result<std::vector<std::uint32_t>> subkeyLeaves(std::uint32_t listCell) const;
    Result<SubkeyListKind> listKind(std::uint32_t listCell) const;

    Error error(std::string message, std::optional<std::uint64_t> offset = {}) const;

    // Changes, made in memory over the mapped file; the owner writes them
    // back. The first change runs the structural check of the whole hive, and
    // a hive it refuses (or a dirty one) is never changed. Each change is made
    // whole or not at all: one that fails leaves the hive exactly as it was
    // and says why. Names compare as Windows compares them.

    // Creates or replaces a value; a replaced value keeps its name's spelling.
    Result<void> setValue(KeyRef key, std::u16string_view name, std::uint32_t type,
                          std::span<const std::uint8_t> data);
    // false when there was no such value.
    Result<bool> deleteValue(KeyRef key, std::u16string_view name);
    // The subkey of that name, created when missing.
    Result<KeyRef> createKey(KeyRef parent, std::u16string_view name);
    // A key by its path from the root, created with every missing parent.
    Result<KeyRef> createKeyPath(std::string_view path);
    // Renames a key among its siblings; its cell may move, so the new
    // reference is returned.
    Result<KeyRef> renameKey(KeyRef key, std::u16string_view newName);
    // Deletes a key with its whole subtree (the root cannot be deleted).
    Result<void> deleteKey(KeyRef key);

    // Runs the structural check that precedes the first change now, once:
    // the refusal every change would meet, or nothing.
    Result<void> prepareChanges() { return beginChanges(); }

    // Whether anything was changed since the hive was opened (or written).
    // Recovery of a dirty hive counts: its image differs from the file.
    bool changed() const { return !image_.dirtyPages().empty(); }
    // Changes made through the calls below that wrote something; recovery
    // is not among them.
    std::uint64_t changeCount() const { return changeCount_; }
    HiveImage& mutableImage() { return image_; }
    // Where key timestamps come from: a FILETIME (100 ns since 1601, UTC).
    void setClock(std::function<std::uint64_t()> now) { clock_ = std::move(now); }
    std::uint64_t now() const;

    // Writes the changes back into the hive's own file, in place and
    // crash-safely, through its transaction log (see write_back.h); touches
    // nothing when nothing changed. Key timestamps and the hive's written time
    // come from the same clock.
    Result<WriteBackReport> writeBack(FileIo& io, WriteBackOptions options = {});

    // Writes the whole hive as it is now (recovered, changed) into `out` from
    // offset 0, as one clean file: a base block with equal sequence numbers
    // above the old ones, a new last-written time (also in the first hive
    // bin), the bins size and the checksum. The caller syncs.
    Result<void> writeClean(OpenFile& out) const;
    // The same into a new file (which must not exist yet), synced.
    Result<void> saveAs(const std::filesystem::path& file) const;

private:
    Hive(HiveImage image, BaseBlock header, std::string fileName);
    static Result<Hive> fromImage(HiveImage image, std::string fileName);
    template <class T>
    tl::unexpected<Error> failAt(std::string message, T offset) const {
        return tl::unexpected(error(std::move(message), static_cast<std::uint64_t>(offset)));
    }
    Result<std::optional<KeyRef>> findInLeaf(std::uint32_t leaf, std::u16string_view name) const;
    Result<std::vector<std::uint32_t>> leafEntries(std::uint32_t leaf) const;
    Result<std::u16string> keyName(std::uint32_t cell) const;

    // Changing (hive_edit.cpp, subkey_list_edit.cpp).
    Result<void> beginChanges();
    template <class T, class Body>
    Result<T> change(Body&& body);
    void afterRollback();
    Result<std::uint32_t> allocate(ChangeJournal& j, std::uint32_t dataSize);
    void release(ChangeJournal& j, std::uint32_t cell);
    void putField32(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint32_t value);
    void putField16(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint16_t value);
    void putField64(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint64_t value);
    std::uint8_t* fieldBytes(ChangeJournal& j, std::uint32_t cell, std::size_t field,
                             std::size_t length);
    void touch(ChangeJournal& j, std::uint32_t keyCell);
    void growField(ChangeJournal& j, std::uint32_t cell, std::size_t field, std::uint32_t value,
                   bool lowHalfOnly);
    struct StoredData {
        std::uint32_t rawSize;
        std::uint32_t offset;
    };
    Result<StoredData> storeData(ChangeJournal& j, std::span<const std::uint8_t> data);
    Result<std::vector<std::uint32_t>> dataCells(const ValueNode& v) const;
    Result<void> releaseValue(ChangeJournal& j, ValueRef ref);
    Result<KeyRef> createKeyIn(ChangeJournal& j, KeyRef parent, std::u16string_view name);
    Result<void> deleteTree(ChangeJournal& j, KeyRef top);
    Result<void> releaseSecurity(ChangeJournal& j, std::uint32_t sk);
    Result<std::uint32_t> writeName(ChangeJournal& j, std::uint32_t cell, std::size_t nameField,
                                    std::u16string_view name);
    // Subkey lists.
    Result<void> insertSubkey(ChangeJournal& j, KeyRef parent, KeyRef child,
                              std::u16string_view name);
    Result<void> removeSubkey(ChangeJournal& j, KeyRef parent, KeyRef child);
    Result<std::vector<std::uint32_t>> insertIntoLeaf(ChangeJournal& j, std::uint32_t leaf,
                                                      KeyRef child, std::u16string_view name);
    Result<std::uint32_t> newList(ChangeJournal& j, const char (&signature)[3],
                                  std::span<const std::uint8_t> entries, std::size_t stride);
    std::uint32_t entryFor(SubkeyListKind kind, std::u16string_view name) const;
    SubkeyListKind newLeafKind() const;

    HiveImage image_;
    BaseBlock header_;
    std::optional<CellAllocator> allocator_;
    std::optional<Error> refusal_;
    std::optional<RecoveryReport> recovery_;
    std::function<std::uint64_t()> clock_;
    std::string fileName_;
    std::uint32_t binsSize_ = 0;
    std::uint64_t changeCount_ = 0;
};

// Names of value types as the programs print them: "REG_SZ", ..., or the
// number for a type without a name.
std::string typeName(std::uint32_t type);
std::optional<std::uint32_t> parseTypeName(std::string_view text);

} // namespace engine::hive
