// Long seeded sequences of random changes to copies of the Windows-written test
// hives. An in-memory model (tests/support/hive_model.h) predicts what every
// change does; after each one the engine's reading of the keys it touched must
// match the model, a change that must fail must leave every byte as it was, and
// the structural check must accept the hive. Each sequence ends with the whole
// hive compared with the model, then written with saveAs and read back by our
// reader and by the independent ones.
//
// The default run is a fixed set of seeds. To run longer, or to repeat the
// sequence a failure message names:
//   MORVALIN_RANDOM_SECONDS=N   new seeds for N seconds per hive
//   MORVALIN_RANDOM_SEED=S      only the sequence of seed S
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hive/bytes.h"
#include "hive/cells.h"
#include "hive/dump.h"
#include "hive/hive.h"
#include "hive/names.h"
#include "hive/validate.h"
#include "hive/value_text.h"
#include "support/hive_model.h"
#include "support/independent_readers.h"
#include "support/random_hive_input.h"
#include "support/test_files.h"

namespace engine::hive {
namespace {

using test::HiveModel;
using test::ModelKey;
using test::ModelPath;
using test::RandomHiveInput;
using Clock = std::chrono::steady_clock;

const char* const kHives[] = {
    "hives/empty-hive",
    "hives/xp-ntuser.dat",
    "hives/win7-ntuser.dat",
    "hives/win81-ntuser.dat",
    "hives/windows-written/BigDataHive",
    "hives/windows-written/ManySubkeysHive",
    "hives/windows-written/OffHive",
    "hives/windows-written/UnicodeHive",
};

// The default run: this many sequences of this many changes per hive, cut
// short once a hive has taken kDefaultSeconds.
constexpr std::size_t kDefaultSequences = 2;
constexpr std::size_t kStepsPerSequence = 150;
constexpr double kDefaultSeconds = 15;

struct RunSettings {
    std::optional<std::uint64_t> onlySeed;
    std::optional<double> seconds;
};

RunSettings settingsFromEnvironment() {
    RunSettings s;
    if (const char* seed = std::getenv("MORVALIN_RANDOM_SEED"); seed != nullptr && *seed) {
        s.onlySeed = std::strtoull(seed, nullptr, 0);
    }
    if (const char* seconds = std::getenv("MORVALIN_RANDOM_SECONDS");
        seconds != nullptr && *seconds) {
        s.seconds = std::strtod(seconds, nullptr);
    }
    return s;
}

// Seeds differ between hives, so that each hive meets other sequences.
std::uint64_t firstSeed(std::string_view hive) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (char c : hive) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    return (h & 0xFFFFFF) * 1000;
}

std::string hex(std::uint64_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), kDigits[n & 0xF]);
        n >>= 4;
    } while (n != 0);
    return "0x" + out;
}

std::string dumpOf(const Hive& hive) {
    std::string text;
    auto done = dumpHive(hive, "", [&](std::string_view line) {
        text += line;
        text += '\n';
    });
    if (!done) {
        text += "(dump failed: " + done.error().describe() + ")\n";
    }
    return text;
}

// The model's dump (or another expected one) and a reader's, line by line.
::testing::AssertionResult sameText(const std::string& expected, const std::string& actual,
                                    std::string_view actualName) {
    return test::sameLines("expected", test::splitLines(expected), actualName,
                           test::splitLines(actual));
}

// A name for a message: quoted, and cut short when long.
std::string shown(std::u16string_view name) {
    if (name.size() <= 48) {
        return quoteText(name);
    }
    const std::size_t cut = name[39] >= 0xD800 && name[39] <= 0xDBFF ? 39 : 40;
    return quoteText(name.substr(0, cut)) + "... (" + std::to_string(name.size()) + " units)";
}

// A key by its path, looked up name by name without UTF-8 in between.
Result<std::optional<KeyRef>> locate(const Hive& hive, std::span<const std::u16string> path) {
    KeyRef at = hive.root();
    for (const std::u16string& name : path) {
        auto node = hive.key(at);
        if (!node) {
            return tl::unexpected(node.error());
        }
        auto next = hive.findSubkey(*node, name);
        if (!next) {
            return tl::unexpected(next.error());
        }
        if (!*next) {
            return std::optional<KeyRef>{};
        }
        at = **next;
    }
    return at;
}

// The cell of the key at a path; kNoCell when there is none, 0 when the
// lookup failed.
std::uint32_t located(const Hive& hive, std::span<const std::u16string> path) {
    auto ref = locate(hive, path);
    return !ref ? 0 : *ref ? (*ref)->cell : kNoCell;
}

// The engine's reading of one key equals the model's: its name as spelled,
// its values in order with their types and bytes, its subkeys in order (each
// naming it as parent), and lookups that find them by their names spelled in
// upper case.
::testing::AssertionResult sameKey(const Hive& hive, KeyRef ref, const ModelKey& want) {
    auto node = hive.key(ref);
    if (!node) {
        return ::testing::AssertionFailure() << node.error().describe();
    }
    if (node->name != want.name) {
        return ::testing::AssertionFailure()
               << "key named " << shown(node->name) << ", model says " << shown(want.name);
    }
    const std::string key = "key " + shown(want.name) + ": ";
    auto values = hive.values(*node);
    if (!values) {
        return ::testing::AssertionFailure() << key << values.error().describe();
    }
    if (values->size() != want.values.size()) {
        return ::testing::AssertionFailure()
               << key << values->size() << " values, model says " << want.values.size();
    }
    for (std::size_t i = 0; i < values->size(); ++i) {
        const test::ModelValue& w = want.values[i];
        auto v = hive.value((*values)[i]);
        if (!v) {
            return ::testing::AssertionFailure() << key << v.error().describe();
        }
        auto data = hive.valueData(*v);
        if (!data) {
            return ::testing::AssertionFailure() << key << data.error().describe();
        }
        if (v->name != w.name || v->type != w.type || *data != w.data) {
            return ::testing::AssertionFailure()
                   << key << "value " << i << " is " << shown(v->name) << " type " << hex(v->type)
                   << ", " << data->size() << " bytes; model says " << shown(w.name) << " type "
                   << hex(w.type) << ", " << w.data.size() << " bytes"
                   << (data->size() == w.data.size() ? " (other bytes)" : "");
        }
        auto found = hive.findValue(*node, test::foldName(w.name));
        if (!found || !*found || !(**found == (*values)[i])) {
            return ::testing::AssertionFailure()
                   << key << "value " << shown(w.name) << " not found by its upper-case name";
        }
    }
    auto subkeys = hive.subkeys(*node);
    if (!subkeys) {
        return ::testing::AssertionFailure() << key << subkeys.error().describe();
    }
    if (subkeys->size() != want.subkeys.size() || node->subkeyCount != want.subkeys.size()) {
        return ::testing::AssertionFailure()
               << key << subkeys->size() << " subkeys listed, count " << node->subkeyCount
               << ", model says " << want.subkeys.size();
    }
    for (std::size_t i = 0; i < subkeys->size(); ++i) {
        auto child = hive.key((*subkeys)[i]);
        if (!child) {
            return ::testing::AssertionFailure() << key << child.error().describe();
        }
        if (child->name != want.subkeys[i].name || child->parent != ref.cell) {
            return ::testing::AssertionFailure()
                   << key << "subkey " << i << " is " << shown(child->name) << " (parent "
                   << hex(child->parent) << "), model says " << shown(want.subkeys[i].name)
                   << " (parent " << hex(ref.cell) << ")";
        }
        // Lookups for a spread of at most about 64 of them, the last included.
        if (i % (1 + subkeys->size() / 64) != 0 && i + 1 != subkeys->size()) {
            continue;
        }
        auto found = hive.findSubkey(*node, test::foldName(child->name));
        if (!found || !*found || !(**found == (*subkeys)[i])) {
            return ::testing::AssertionFailure()
                   << key << "subkey " << shown(child->name) << " not found by its upper-case name";
        }
    }
    return ::testing::AssertionSuccess();
}

// Everything a change could alter: the image's bytes and size, its dirty
// pages, and what the hive says of itself.
struct Snapshot {
    std::vector<std::uint8_t> bytes;
    std::set<std::size_t> dirtyPages;
    std::uint32_t binsSize = 0;
    bool dirty = false;
};

Snapshot snapshotOf(const Hive& hive) {
    const HiveImage& image = hive.image();
    return {{image.data(), image.data() + image.size()},
            image.dirtyPages(),
            hive.binsSize(),
            hive.dirty()};
}

::testing::AssertionResult unchangedSince(const Hive& hive, const Snapshot& before) {
    const HiveImage& image = hive.image();
    if (image.size() != before.bytes.size()) {
        return ::testing::AssertionFailure() << "the image grew from " << before.bytes.size()
                                             << " to " << image.size() << " bytes";
    }
    if (std::memcmp(before.bytes.data(), image.data(), image.size()) != 0) {
        const auto diff = std::mismatch(before.bytes.begin(), before.bytes.end(), image.data());
        return ::testing::AssertionFailure()
               << "the byte at file offset " << hex(diff.first - before.bytes.begin())
               << " changed";
    }
    if (image.dirtyPages() != before.dirtyPages) {
        return ::testing::AssertionFailure()
               << "the dirty pages changed (" << before.dirtyPages.size() << " before, "
               << image.dirtyPages().size() << " after)";
    }
    if (hive.binsSize() != before.binsSize || hive.dirty() != before.dirty) {
        return ::testing::AssertionFailure()
               << "bins size " << before.binsSize << " -> " << hive.binsSize() << ", dirty "
               << before.dirty << " -> " << hive.dirty();
    }
    return ::testing::AssertionSuccess();
}

// Every page whose bytes differ from the file's is among the dirty pages, so
// writing back the dirty pages writes every change.
::testing::AssertionResult changesAreInDirtyPages(const Hive& hive,
                                                  const std::vector<unsigned char>& file) {
    const HiveImage& image = hive.image();
    const std::size_t end = std::min(file.size(), image.size());
    for (std::size_t page = 0; page * HiveImage::kPageSize < end; ++page) {
        const std::size_t at = page * HiveImage::kPageSize;
        const std::size_t length = std::min(HiveImage::kPageSize, end - at);
        if (std::memcmp(file.data() + at, image.data() + at, length) != 0 &&
            image.dirtyPages().count(page) == 0) {
            return ::testing::AssertionFailure()
                   << "page " << page << " changed but is not marked dirty";
        }
    }
    return ::testing::AssertionSuccess();
}

std::set<std::string> remarksOf(const Validation& v) {
    std::set<std::string> out;
    for (const Finding& f : v.findings) {
        out.insert(f.describe());
    }
    return out;
}

// The structural check accepts the hive and finds nothing it did not find in
// the hive as Windows wrote it (a cell left allocated without a reference, a
// key left pointing at an emptied list, ...).
::testing::AssertionResult validates(const Hive& hive, const std::set<std::string>& known) {
    const Validation v = validateHive(hive);
    for (const Finding& f : v.findings) {
        if (f.blocking || known.count(f.describe()) == 0) {
            return ::testing::AssertionFailure() << f.describe();
        }
    }
    return ::testing::AssertionSuccess();
}

// Bytes of free cells in the hive bins.
std::uint32_t freeBytes(const Hive& hive) {
    const std::uint8_t* bins = hive.image().data() + BaseBlock::kSize;
    std::uint32_t total = 0;
    for (std::uint32_t bin = 0; bin < hive.binsSize();) {
        const std::uint32_t binSize = le32(bins + bin + 8);
        for (std::uint32_t c = bin + kBinHeaderSize; c < bin + binSize;) {
            const auto raw = static_cast<std::int32_t>(le32(bins + c));
            total += raw > 0 ? static_cast<std::uint32_t>(raw) : 0;
            c += static_cast<std::uint32_t>(raw > 0 ? raw : -raw);
        }
        bin += binSize;
    }
    return total;
}

std::size_t storedNameBytes(std::u16string_view name) {
    return fitsCompressed(name) ? name.size() : 2 * name.size();
}

// Entries of one leaf of a subkey list, read from its cell.
std::vector<std::uint32_t> leafChildren(const Hive& hive, std::uint32_t leaf) {
    const auto data = *hive.cell(leaf);
    const std::size_t stride = *hive.listKind(leaf) == SubkeyListKind::IndexLeaf ? 4 : 8;
    std::vector<std::uint32_t> out(le16(data.data() + 2));
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = le32(data.data() + 4 + i * stride);
    }
    return out;
}

::testing::AssertionResult readerAgrees(const char* reader,
                                        const test::ReaderResult<std::vector<std::string>>& theirs,
                                        const Result<std::vector<std::string>>& ours) {
    if (!theirs) {
        return ::testing::AssertionFailure() << reader << " " << test::describe(theirs.error());
    }
    if (!ours) {
        return ::testing::AssertionFailure() << ours.error().describe();
    }
    return test::sameLines("engine", *ours, reader, *theirs);
}

// Whether a big data value has its segments out of file order. reglookup joins
// the segments in file order rather than in the order of their list, so it
// cannot read such a value (which Windows' own reader takes in list order).
bool bigDataOutOfOrder(const Hive& hive) {
    if (!hive.baseBlock().hasBigData()) {
        return false;
    }
    std::vector<KeyRef> stack{hive.root()};
    while (!stack.empty()) {
        const KeyNode node = hive.key(stack.back()).value();
        stack.pop_back();
        const std::vector<ValueRef> values = hive.values(node).value();
        for (ValueRef ref : values) {
            const ValueNode v = hive.value(ref).value();
            if (v.dataInline || v.dataSize <= kBigDataSegment) {
                continue;
            }
            const auto db = hive.cell(v.dataCell).value();
            const auto list = hive.cell(le32(db.data() + db::kSegmentList)).value();
            for (std::size_t i = 1; i < le16(db.data() + db::kSegmentCount); ++i) {
                if (le32(list.data() + 4 * i) < le32(list.data() + 4 * (i - 1))) {
                    return true;
                }
            }
        }
        const auto subkeys = hive.subkeys(node).value();
        stack.insert(stack.end(), subkeys.begin(), subkeys.end());
    }
    return false;
}

// One sequence of random changes to one hive and its model.
class RandomRun {
public:
    RandomRun(Hive& hive, HiveModel& model, std::uint64_t seed, RandomHiveInput::Kind kind,
              std::set<std::string> remarks)
        : hive_(hive)
        , model_(model)
        , in_(seed, kind)
        , seed_(seed)
        , remarks_(std::move(remarks)) {}

    void step(std::size_t index) {
        step_ = index;
        what_.clear();
        const std::size_t r = in_.below(100);
        if (r < 28) {
            setValue();
        } else if (r < 36) {
            deleteValue();
        } else if (r < 50) {
            createKey();
        } else if (r < 58) {
            createKeyPath();
        } else if (r < 70) {
            renameKey();
        } else if (r < 77) {
            deleteKey();
        } else if (r < 95) {
            failingChange();
        } else if (r < 98) {
            emptyALeaf();
        } else {
            addManySubkeys();
        }
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        // The full check reads every page: on big hives it runs every few steps.
        const std::size_t every = std::min<std::size_t>(8, 1 + hive_.binsSize() / (128 * 1024));
        if (index % every == 0) {
            ASSERT_TRUE(validates(hive_, remarks_))
                << where() << " (checked every " << every << " steps)";
        }
    }

    std::string where() const {
        return "seed " + std::to_string(seed_) + " (MORVALIN_RANDOM_SEED), step " +
               std::to_string(step_) + ": " + what_;
    }

private:
    // A random key: often one created in this sequence, else a random walk
    // from the root that stops early or dives deep.
    ModelPath pickKey(bool allowRoot) {
        if (!recent_.empty() && in_.chance(35)) {
            const ModelPath& p = recent_[in_.below(recent_.size())];
            if (model_.find(p) != nullptr && (allowRoot || !p.empty())) {
                return p;
            }
        }
        const unsigned stop = in_.chance(50) ? 15 : 40;
        ModelPath path;
        const ModelKey* key = &model_.root();
        while (!key->subkeys.empty() && ((path.empty() && !allowRoot) || !in_.chance(stop))) {
            key = &key->subkeys[in_.below(key->subkeys.size())];
            path.push_back(key->name);
        }
        return path;
    }

    void remember(const ModelPath& path) {
        if (recent_.size() < 64) {
            recent_.push_back(path);
        } else {
            recent_[in_.below(recent_.size())] = path;
        }
    }

    std::optional<KeyRef> refOf(const ModelPath& path) {
        auto ref = locate(hive_, path);
        if (!ref || !*ref) {
            ADD_FAILURE() << where() << "\nno key at " << test::pathText(path)
                          << (ref ? "" : ": " + ref.error().describe());
            return std::nullopt;
        }
        return **ref;
    }

    ::testing::AssertionResult keyMatches(const ModelPath& path) {
        auto ref = locate(hive_, path);
        if (!ref || !*ref) {
            return ::testing::AssertionFailure() << "no key at " << test::pathText(path);
        }
        return sameKey(hive_, **ref, *model_.find(path));
    }

    void setValue() {
        const ModelPath path = pickKey(true);
        ModelKey& key = *model_.find(path);
        const std::u16string name =
            !key.values.empty() && in_.chance(40)
                ? in_.caseVariant(key.values[in_.below(key.values.size())].name)
                : in_.valueName();
        const RandomHiveInput::Value v = in_.value();
        what_ = "setValue [" + test::pathText(path) + "] " + shown(name) + " " + typeName(v.type) +
                ", " + std::to_string(v.data.size()) + " bytes";
        SCOPED_TRACE(where());
        const auto ref = refOf(path);
        ASSERT_TRUE(ref);
        auto done = hive_.setValue(*ref, name, v.type, v.data);
        ASSERT_TRUE(done) << done.error().describe();
        model_.setValue(key, name, v.type, v.data);
        ASSERT_TRUE(sameKey(hive_, *ref, key));
        ASSERT_TRUE(hive_.changed());
    }

    void deleteValue() {
        const ModelPath path = pickKey(true);
        ModelKey& key = *model_.find(path);
        const std::u16string name =
            !key.values.empty() && in_.chance(75)
                ? in_.caseVariant(key.values[in_.below(key.values.size())].name)
                : in_.valueName();
        what_ = "deleteValue [" + test::pathText(path) + "] " + shown(name);
        SCOPED_TRACE(where());
        const auto ref = refOf(path);
        ASSERT_TRUE(ref);
        const Snapshot before = snapshotOf(hive_);
        const bool expected = model_.deleteValue(key, name);
        auto done = hive_.deleteValue(*ref, name);
        ASSERT_TRUE(done) << done.error().describe();
        ASSERT_EQ(*done, expected);
        if (!expected) {
            ASSERT_TRUE(unchangedSince(hive_, before));
        }
        ASSERT_TRUE(sameKey(hive_, *ref, key));
    }

    void createKey() {
        const ModelPath parentPath = pickKey(true);
        ModelKey& parent = *model_.find(parentPath);
        const std::u16string name =
            !parent.subkeys.empty() && in_.chance(30)
                ? in_.caseVariant(parent.subkeys[in_.below(parent.subkeys.size())].name)
                : in_.keyName();
        what_ = "createKey [" + test::pathText(parentPath) + "] " + shown(name);
        SCOPED_TRACE(where());
        const auto parentRef = refOf(parentPath);
        ASSERT_TRUE(parentRef);
        const bool existed = parent.subkey(name) != nullptr;
        const Snapshot before = snapshotOf(hive_);
        auto made = hive_.createKey(*parentRef, name);
        ASSERT_TRUE(made) << made.error().describe();
        ModelKey& child = model_.createKey(parent, name);
        if (existed) {
            ASSERT_TRUE(unchangedSince(hive_, before));
        }
        ModelPath childPath = parentPath;
        childPath.push_back(child.name);
        ASSERT_EQ(located(hive_, childPath), made->cell);
        ASSERT_TRUE(sameKey(hive_, *made, child));
        ASSERT_TRUE(sameKey(hive_, *parentRef, parent));
        remember(childPath);
    }

    void createKeyPath() {
        ModelPath path = pickKey(true);
        const std::size_t known = path.size();
        for (std::size_t n = 1 + in_.below(4); n > 0; --n) {
            path.push_back(in_.chance(20) ? in_.caseVariant(in_.keyName()) : in_.keyName());
        }
        // Empty components (a leading, doubled or trailing backslash) are skipped.
        std::string text = (in_.chance(15) ? "\\" : "") + test::pathText(path);
        if (in_.chance(15)) {
            text += "\\";
        }
        what_ = "createKeyPath " + text;
        SCOPED_TRACE(where());
        ModelKey* key = model_.find(std::span(path).first(known));
        bool creates = false;
        for (std::size_t i = known; i < path.size(); ++i) {
            creates = creates || key->subkey(path[i]) == nullptr;
            key = &model_.createKey(*key, path[i]);
            path[i] = key->name;
        }
        const Snapshot before = snapshotOf(hive_);
        auto made = hive_.createKeyPath(text);
        ASSERT_TRUE(made) << made.error().describe();
        if (!creates) {
            ASSERT_TRUE(unchangedSince(hive_, before));
        }
        ASSERT_EQ(located(hive_, path), made->cell);
        ASSERT_EQ(hive_.findKey(test::pathText(path)).value().value_or(KeyRef{kNoCell}).cell,
                  made->cell);
        for (std::size_t i = known; i <= path.size(); ++i) {
            ASSERT_TRUE(keyMatches(ModelPath(path.begin(), path.begin() + i)));
        }
        remember(path);
    }

    void renameKey() {
        const ModelPath path = pickKey(false);
        if (path.empty()) {
            return createKey();
        }
        const ModelPath parentPath(path.begin(), path.end() - 1);
        ModelKey& parent = *model_.find(parentPath);
        const std::u16string& old = path.back();
        std::u16string name;
        const std::size_t mode = in_.below(100);
        if (mode < 25) {
            name = in_.caseVariant(old); // possibly the very same spelling
        } else if (mode < 50) {
            // Longer: the key node must move unless its cell has room.
            name = old +
                   in_.nameOfLength(std::min<std::size_t>(255 - old.size(), 40 + in_.below(200)));
        } else {
            name = in_.keyName();
        }
        what_ = "renameKey [" + test::pathText(path) + "] to " + shown(name);
        SCOPED_TRACE(where());
        const auto ref = refOf(path);
        ASSERT_TRUE(ref);
        const ModelKey* clash = parent.subkey(name);
        const bool fails = clash != nullptr && !test::sameName(clash->name, old);
        const bool same = name == old;
        const bool mustMove = hive_.cell(ref->cell)->size() < nk::kName + storedNameBytes(name);
        const Snapshot before = snapshotOf(hive_);
        auto renamed = hive_.renameKey(*ref, name);
        if (fails) {
            ASSERT_FALSE(renamed) << "renamed onto the existing sibling " << shown(clash->name);
            ASSERT_TRUE(unchangedSince(hive_, before));
            return;
        }
        ASSERT_TRUE(renamed) << renamed.error().describe();
        if (same) {
            ASSERT_TRUE(unchangedSince(hive_, before));
        }
        ASSERT_EQ(!(*renamed == *ref), mustMove) << "the key node moved, or did not, wrongly";
        ModelKey* placed = nullptr;
        ASSERT_TRUE(model_.renameKey(parent, old, name, &placed));
        ModelPath newPath = parentPath;
        newPath.push_back(name);
        ASSERT_EQ(located(hive_, newPath), renamed->cell);
        ASSERT_TRUE(sameKey(hive_, *renamed, *placed));
        ASSERT_TRUE(keyMatches(parentPath));
        remember(newPath);
    }

    void deleteKey() {
        ModelPath path = pickKey(false);
        // Whole subtrees go, but seldom the big ones a sequence would miss.
        if (!path.empty() && model_.find(path)->treeSize() > 100 && !in_.chance(10)) {
            path = pickKey(false);
        }
        if (path.empty()) {
            return createKey();
        }
        const ModelPath parentPath(path.begin(), path.end() - 1);
        what_ = "deleteKey [" + test::pathText(path) + "] with " +
                std::to_string(model_.find(path)->treeSize()) + " keys";
        SCOPED_TRACE(where());
        const auto ref = refOf(path);
        ASSERT_TRUE(ref);
        auto done = hive_.deleteKey(*ref);
        ASSERT_TRUE(done) << done.error().describe();
        model_.deleteKey(*model_.find(parentPath), path.back());
        ASSERT_EQ(located(hive_, path), kNoCell);
        ASSERT_TRUE(keyMatches(parentPath));
    }

    // Hundreds of subkeys in one key: its leaf splits into an index root.
    void addManySubkeys() {
        ModelPath parentPath = pickKey(true);
        const std::size_t count = 300 + in_.below(500);
        what_ = "add " + std::to_string(count) + " subkeys to [" + test::pathText(parentPath) + "]";
        SCOPED_TRACE(where());
        const auto parentRef = refOf(parentPath);
        ASSERT_TRUE(parentRef);
        for (std::size_t i = 0; i < count; ++i) {
            const std::u16string name = in_.nameOfLength(1 + in_.below(60)) + u"#" +
                                        std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            auto made = hive_.createKey(*parentRef, name);
            ASSERT_TRUE(made) << shown(name) << ": " << made.error().describe();
            const ModelKey& child = model_.createKey(*model_.find(parentPath), name);
            ASSERT_EQ(hive_.key(*made)->name, child.name);
        }
        ASSERT_TRUE(sameKey(hive_, *parentRef, *model_.find(parentPath)));
        // A leaf holds about a page of entries.
        const std::vector<std::uint32_t> leaves =
            hive_.subkeyLeaves(hive_.key(*parentRef)->subkeyList).value();
        for (std::uint32_t leaf : leaves) {
            const std::size_t stride = *hive_.listKind(leaf) == SubkeyListKind::IndexLeaf ? 4 : 8;
            ASSERT_LE(leafChildren(hive_, leaf).size() * stride, 4096u);
        }
        ASSERT_TRUE(validates(hive_, remarks_));
        remember(parentPath);
    }

    // Deletes every subkey of one leaf of an index root, one by one: the leaf
    // goes, and the last leaf takes the index root with it.
    void emptyALeaf() {
        std::vector<ModelPath> candidates;
        std::vector<std::pair<const ModelKey*, ModelPath>> stack{{&model_.root(), {}}};
        while (!stack.empty()) {
            auto [key, path] = stack.back();
            stack.pop_back();
            if (key->subkeys.size() > 200) {
                candidates.push_back(path);
            }
            for (const ModelKey& sub : key->subkeys) {
                ModelPath p = path;
                p.push_back(sub.name);
                stack.push_back({&sub, std::move(p)});
            }
        }
        std::optional<KeyRef> parentRef;
        ModelPath parentPath;
        for (const ModelPath& p : candidates) {
            auto ref = refOf(p);
            ASSERT_TRUE(ref);
            if (*hive_.listKind(hive_.key(*ref)->subkeyList) == SubkeyListKind::IndexRoot) {
                parentRef = ref;
                parentPath = p;
                break;
            }
        }
        if (!parentRef) {
            return deleteKey();
        }
        const std::vector<std::uint32_t> leaves =
            *hive_.subkeyLeaves(hive_.key(*parentRef)->subkeyList);
        const std::size_t index = in_.below(leaves.size());
        const std::vector<std::uint32_t> children = leafChildren(hive_, leaves[index]);
        what_ = "empty leaf " + std::to_string(index) + " of " + std::to_string(leaves.size()) +
                " (" + std::to_string(children.size()) + " subkeys) of [" +
                test::pathText(parentPath) + "]";
        SCOPED_TRACE(where());
        for (std::uint32_t child : children) {
            const std::u16string name = hive_.key(KeyRef{child})->name;
            auto done = hive_.deleteKey(KeyRef{child});
            ASSERT_TRUE(done) << shown(name) << ": " << done.error().describe();
            ModelKey& parent = *model_.find(parentPath);
            model_.deleteKey(parent, name);
            const KeyNode node = *hive_.key(*parentRef);
            ASSERT_EQ(node.subkeyCount, parent.subkeys.size());
            ASSERT_FALSE(hive_.findSubkey(node, name).value());
        }
        const KeyNode node = *hive_.key(*parentRef);
        if (leaves.size() == 1) {
            ASSERT_EQ(node.subkeyCount, 0u);
            ASSERT_EQ(node.subkeyList, kNoCell);
        } else {
            std::vector<std::uint32_t> expected = leaves;
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(index));
            ASSERT_EQ(*hive_.subkeyLeaves(node.subkeyList), expected);
        }
        ASSERT_TRUE(sameKey(hive_, *parentRef, *model_.find(parentPath)));
        ASSERT_TRUE(validates(hive_, remarks_));
    }

    // A change that must fail, and then must have changed nothing at all.
    // With `growing`, one that first creates enough missing parents that the
    // image must grow past the file.
    void failingChange(bool growing = false) {
        const std::u16string tooLong(256, u'k');
        const std::u16string badNames[] = {u"", tooLong, u"a\\b", u"\\"};
        const std::u16string& bad = in_.pick(std::span<const std::u16string>(badNames));
        const Snapshot before = snapshotOf(hive_);
        Result<void> failed;
        const std::size_t kind = growing ? 1 : in_.below(8);
        const ModelPath path = pickKey(kind != 4 && kind != 5);
        const auto ref = refOf(path);
        ASSERT_TRUE(ref);
        const auto expectFailure = [&](auto result) {
            failed = result ? Result<void>{} : tl::unexpected(result.error());
        };
        if (kind == 0) {
            what_ = "createKey [" + test::pathText(path) + "] " + shown(bad);
            expectFailure(hive_.createKey(*ref, bad));
        } else if (kind == 1 || kind == 2) {
            // Missing parents first, created and then undone when the last
            // name is refused; enough of them, at times, that the hive must
            // grow on the way.
            std::string text = test::pathText(path);
            std::size_t parents = 1 + in_.below(3);
            if (growing || in_.chance(40)) {
                // Each parent takes a cell of 592 bytes.
                const std::size_t room =
                    hive_.image().size() - BaseBlock::kSize - hive_.binsSize() + freeBytes(hive_);
                parents = std::min<std::size_t>(700, room / 592 + 2);
            }
            const std::u16string filler(255, u'Ж');
            for (std::size_t i = 0; i < parents; ++i) {
                text += "\\" +
                        toUtf8(i % 2 == 0 ? filler : in_.nameOfLength(1 + in_.below(200)) + u"+");
            }
            text += kind == 1 ? "\\" + toUtf8(tooLong) : std::string("\\bad\xff\xfeutf8");
            what_ = "createKeyPath with " + std::to_string(parents) +
                    " missing parents, then a bad name";
            expectFailure(hive_.createKeyPath(text));
        } else if (kind == 3) {
            what_ = "setValue [" + test::pathText(path) + "] with a 16384-unit name";
            expectFailure(hive_.setValue(*ref, std::u16string(16384, u'v'), kRegDword,
                                         std::vector<std::uint8_t>(4, 1)));
        } else if (kind == 4) {
            what_ = "deleteKey of the root";
            expectFailure(hive_.deleteKey(hive_.root()));
        } else if (kind == 5) {
            what_ = "renameKey of the root";
            expectFailure(hive_.renameKey(hive_.root(), in_.keyName()));
        } else if (kind == 6 && !path.empty()) {
            what_ = "renameKey [" + test::pathText(path) + "] to " + shown(bad);
            expectFailure(hive_.renameKey(*ref, bad));
        } else {
            // Onto a sibling, spelled in another case.
            const ModelKey* parent =
                model_.find(std::span(path).first(path.size() - (path.empty() ? 0 : 1)));
            if (path.empty() || parent->subkeys.size() < 2) {
                what_ = "createKey [" + test::pathText(path) + "] " + shown(bad);
                expectFailure(hive_.createKey(*ref, bad));
            } else {
                std::u16string sibling = path.back();
                while (test::sameName(sibling, path.back())) {
                    sibling = parent->subkeys[in_.below(parent->subkeys.size())].name;
                }
                sibling = in_.caseVariant(sibling);
                what_ =
                    "renameKey [" + test::pathText(path) + "] onto its sibling " + shown(sibling);
                expectFailure(hive_.renameKey(*ref, sibling));
            }
        }
        SCOPED_TRACE(where());
        ASSERT_FALSE(failed) << "the change did not fail";
        EXPECT_FALSE(failed.error().message.empty());
        EXPECT_EQ(failed.error().file, hive_.fileName());
        ASSERT_TRUE(unchangedSince(hive_, before));
    }

public:
    // The first change of a sequence: one that fails after writing, on a hive
    // nothing has changed yet, which must still count as unchanged.
    void firstChangeFails() {
        failingChange(true);
        ASSERT_FALSE(hive_.changed()) << where();
    }

private:
    Hive& hive_;
    HiveModel& model_;
    RandomHiveInput in_;
    std::uint64_t seed_;
    std::set<std::string> remarks_;
    std::size_t step_ = 0;
    std::string what_;
    std::vector<ModelPath> recent_;
};

class RandomChanges : public ::testing::TestWithParam<const char*> {
protected:
    // One sequence on a fresh copy of the hive.
    void runSequence(std::uint64_t seed, std::size_t steps) {
        test::TempDir dir;
        const auto file = test::copyTestFile(GetParam(), dir.path());
        const std::vector<unsigned char> original = test::readFile(file);
        auto hive = Hive::open(file);
        ASSERT_TRUE(hive) << hive.error().describe();
        auto model = HiveModel::read(*hive);
        ASSERT_TRUE(model) << model.error().describe();
        const Validation first = validateHive(*hive);
        ASSERT_TRUE(first.canChange());
        ASSERT_TRUE(sameText(model->dump(), dumpOf(*hive), "engine"));

        // Even seeds keep to input every independent reader can show.
        const auto kind = seed % 2 == 0 ? RandomHiveInput::Kind::Plain : RandomHiveInput::Kind::Raw;
        RandomRun run(*hive, *model, seed, kind, remarksOf(first));
        run.firstChangeFails();
        if (HasFatalFailure()) {
            return;
        }
        for (std::size_t i = 1; i < steps; ++i) {
            run.step(i);
            if (HasFatalFailure()) {
                return;
            }
        }

        SCOPED_TRACE("seed " + std::to_string(seed) + ", after " + std::to_string(steps) +
                     " steps");
        ASSERT_TRUE(validates(*hive, remarksOf(first)));
        const std::string expected = model->dump();
        ASSERT_TRUE(sameText(expected, dumpOf(*hive), "engine"));
        ASSERT_TRUE(changesAreInDirtyPages(*hive, original));

        const auto saved = dir / "saved";
        auto written = hive->saveAs(saved);
        ASSERT_TRUE(written) << written.error().describe();
        auto reopened = Hive::open(saved);
        ASSERT_TRUE(reopened) << reopened.error().describe();
        EXPECT_TRUE(validates(*reopened, remarksOf(first)));
        EXPECT_TRUE(sameText(expected, dumpOf(*reopened), "engine, reopened"));
        // The independent readers, each as far as it can read.
        auto hivex = test::hivexDump(saved);
        ASSERT_TRUE(hivex) << test::describe(hivex.error());
        EXPECT_TRUE(sameText(expected, *hivex, "hivex"));
        if (kind == RandomHiveInput::Kind::Plain) {
            EXPECT_TRUE(readerAgrees("regfexport", test::regfexportListing(saved),
                                     test::engineListingAsRegfexport(saved)));
        }
        if (!bigDataOutOfOrder(*reopened)) {
            EXPECT_TRUE(readerAgrees("reglookup", test::reglookupListing(saved),
                                     test::engineListingAsReglookup(saved)));
        }
    }
};

TEST_P(RandomChanges, SequencesOfChangesLeaveWhatTheModelPredicts) {
    const RunSettings settings = settingsFromEnvironment();
    const double budget = settings.seconds.value_or(kDefaultSeconds);
    const auto start = Clock::now();
    for (std::size_t i = 0;; ++i) {
        const std::uint64_t seed = settings.onlySeed.value_or(firstSeed(GetParam()) + i);
        runSequence(seed, kStepsPerSequence);
        if (HasFailure()) {
            ADD_FAILURE() << "repeat with MORVALIN_RANDOM_SEED=" << seed << " --gtest_filter='*"
                          << ::testing::UnitTest::GetInstance()->current_test_info()->name() << "'";
            return;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (settings.onlySeed || elapsed >= budget ||
            (!settings.seconds && i + 1 >= kDefaultSequences)) {
            std::printf("%s: %zu sequences of %zu changes in %.1f s\n", GetParam(), i + 1,
                        kStepsPerSequence, elapsed);
            return;
        }
    }
}

// The same changes made and undone round after round: freed cells are merged
// and reused, so a hive changed many times does not grow without bound.
class RepeatedChanges : public ::testing::TestWithParam<const char*> {
protected:
    // How much more than after the first round the bins may take: room for
    // where the free space happens to be cut differently.
    static constexpr std::uint32_t kRoundSlack = 2 * HiveImage::kPageSize;

    static std::vector<std::uint8_t> pattern(std::size_t size, std::size_t round) {
        std::vector<std::uint8_t> out(size);
        for (std::size_t i = 0; i < size; ++i) {
            out[i] = static_cast<std::uint8_t>(i * 31 + i / 7 + round);
        }
        return out;
    }

    // Keys with values of many sizes (inline, small, single cells, big data
    // or single cells of a few hundred KB), values replaced by bigger and
    // smaller ones, hundreds of subkeys, and a rename that moves a key node.
    static void apply(Hive& hive, std::size_t round) {
        auto top = hive.createKeyPath("Цикл\\Values");
        ASSERT_TRUE(top) << top.error().describe();
        const std::size_t sizes[] = {0,    1,     3,     4,     5,     64,     1000,
                                     4000, 16343, 16344, 16345, 32689, 100000, 300000};
        for (std::size_t size : sizes) {
            ASSERT_TRUE(
                hive.setValue(*top, u"v" + toUtf16Number(size), kRegBinary, pattern(size, round)));
        }
        for (std::size_t size : {10u, 20000u, 5u, 70000u, 100u, 0u, 17000u}) {
            ASSERT_TRUE(hive.setValue(*top, u"Меняется", kRegBinary, pattern(size, round)));
        }
        auto deep = hive.createKeyPath("Цикл\\Deep\\A\\B\\C\\D");
        ASSERT_TRUE(deep) << deep.error().describe();
        ASSERT_TRUE(hive.setValue(*deep, u"", kRegSz, encodeStringData(u"глубоко")));
        auto many = hive.createKeyPath("Цикл\\Many");
        ASSERT_TRUE(many) << many.error().describe();
        for (std::size_t i = 0; i < 600; ++i) {
            ASSERT_TRUE(hive.createKey(*many, u"Подраздел " + toUtf16Number(i * 7919 % 600)));
        }
        auto renamed = hive.renameKey(*hive.findKey("Цикл\\Deep").value(),
                                      u"Deep, renamed to a name long enough to move its node");
        ASSERT_TRUE(renamed) << renamed.error().describe();
    }

    // Every other round deletes the values one by one before the whole tree.
    static void undo(Hive& hive, std::size_t round) {
        const KeyRef top = *hive.findKey("Цикл").value();
        if (round % 2 == 0) {
            const KeyRef values = *hive.findKey("Цикл\\Values").value();
            auto refs = hive.values(*hive.key(values));
            ASSERT_TRUE(refs);
            for (ValueRef ref : *refs) {
                auto deleted = hive.deleteValue(values, hive.value(ref)->name);
                ASSERT_TRUE(deleted && *deleted);
            }
        }
        ASSERT_TRUE(hive.deleteKey(top));
    }

    static std::u16string toUtf16Number(std::size_t n) {
        const std::string digits = std::to_string(n);
        return std::u16string(digits.begin(), digits.end());
    }
};

TEST_P(RepeatedChanges, RedoingUndoneChangesReusesTheFreedSpace) {
    test::TempDir dir;
    auto hive = Hive::open(test::copyTestFile(GetParam(), dir.path()));
    ASSERT_TRUE(hive) << hive.error().describe();
    const std::string original = dumpOf(*hive);
    const std::set<std::string> remarks = remarksOf(validateHive(*hive));
    const std::uint32_t originalBins = hive->binsSize();
    std::uint32_t firstRound = 0;
    for (std::size_t round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        apply(*hive, round);
        ASSERT_FALSE(HasFatalFailure());
        if (round == 0) {
            firstRound = hive->binsSize();
        }
        ASSERT_LE(hive->binsSize(), firstRound + kRoundSlack)
            << "bins grew from " << originalBins << " to " << firstRound << " in the first round";
        undo(*hive, round);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(sameText(original, dumpOf(*hive), "engine after undoing"));
    }
    EXPECT_TRUE(validates(*hive, remarks));
    const auto saved = dir / "saved";
    ASSERT_TRUE(hive->saveAs(saved));
    auto hivex = test::hivexDump(saved);
    ASSERT_TRUE(hivex) << test::describe(hivex.error());
    EXPECT_TRUE(sameText(original, *hivex, "hivex"));
}

// Minimal cases of faults the random sequences found.

TEST(RandomChangesFound, AChangeThatFailsAfterTheHiveGrewLeavesItClean) {
    test::TempDir dir;
    auto hive = Hive::open(test::copyTestFile("hives/empty-hive", dir.path()));
    ASSERT_TRUE(hive) << hive.error().describe();
    const std::uint32_t bins = hive->binsSize();
    ASSERT_TRUE(
        hive->setValue(hive->root(), u"big", kRegBinary, std::vector<std::uint8_t>(20000, 0x5A)));
    ASSERT_GT(hive->binsSize(), bins) << "the value should have needed a new bin";

    EXPECT_FALSE(hive->createKey(hive->root(), u""));

    // The failed change must not make the changed hive look damaged.
    EXPECT_FALSE(hive->dirty()) << "the failed change left the hive looking dirty";
    const Validation v = validateHive(*hive);
    EXPECT_TRUE(v.canChange()) << (v.firstBlocking() ? v.firstBlocking()->describe() : "");
}

TEST(RandomChangesFound, EveryBigDataSegmentHasAWholeCellAsWindowsWritesIt) {
    // BigDataHive's own values show it: Windows gives every segment, the last
    // one too, a cell for 16344 bytes. hivex reads a segment as long as its
    // cell, less 8 bytes, so a last segment cut to its data loses up to 4.
    test::TempDir dir;
    auto hive = Hive::open(test::copyTestFile("hives/windows-written/BigDataHive", dir.path()));
    ASSERT_TRUE(hive) << hive.error().describe();
    std::vector<std::uint8_t> data(kBigDataSegment + 1);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    ASSERT_TRUE(hive->setValue(hive->root(), u"tail", kRegBinary, data));

    const KeyNode root = hive->key(hive->root()).value();
    const ValueNode v = hive->value(hive->findValue(root, u"tail").value().value()).value();
    const auto db = hive->cell(v.dataCell).value();
    const auto list = hive->cell(le32(db.data() + db::kSegmentList)).value();
    for (std::size_t i = 0; i < le16(db.data() + db::kSegmentCount); ++i) {
        EXPECT_GE(hive->cell(le32(list.data() + 4 * i)).value().size(), kBigDataSegment)
            << "segment " << i;
    }
    const auto saved = dir / "saved";
    ASSERT_TRUE(hive->saveAs(saved));
    auto hivex = test::hivexDump(saved);
    ASSERT_TRUE(hivex) << test::describe(hivex.error());
    EXPECT_TRUE(test::sameLines("engine", test::splitLines(dumpOf(*hive)), "hivex",
                                test::splitLines(*hivex)));
}

std::string hiveTestName(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = std::filesystem::path(info.param).filename().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(WindowsWrittenHives, RandomChanges, ::testing::ValuesIn(kHives),
                         hiveTestName);
INSTANTIATE_TEST_SUITE_P(WindowsWrittenHives, RepeatedChanges, ::testing::ValuesIn(kHives),
                         hiveTestName);

} // namespace
} // namespace engine::hive
