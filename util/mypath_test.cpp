#include "util/mypath.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace {

using orvex::util::combine_path;
using orvex::util::combine_path_n;
using orvex::util::combined_buffer_size;
using orvex::util::directory_buffer_size;
using orvex::util::drive_buffer_size;
using orvex::util::explode_path;
using orvex::util::explode_path_n;
using orvex::util::extension_buffer_size;
using orvex::util::name_buffer_size;
using orvex::util::path_buffer_too_small;
using orvex::util::path_ok;
using orvex::util::path_out_of_memory;

constexpr std::size_t guard_bytes = 8;
constexpr char guard = '#';
constexpr char junk = '?';

// One output of the splitter: a buffer of the given size followed by guard
// bytes that must survive, filled with junk so that "set to empty" shows.
template <std::size_t Size>
struct output {
    std::array<char, Size + guard_bytes> buf;
    output() {
        buf.fill(guard);
        std::memset(buf.data(), junk, Size);
        buf[Size - 1] = '\0';
    }
    char* data() { return buf.data(); }
    std::string text() const { return buf.data(); }
    bool guard_intact() const { return untouched_from(Size); }
    // Whether every byte from `from` on still holds what the constructor
    // put there.
    bool untouched_from(std::size_t from) const {
        for (std::size_t i = from; i < buf.size(); ++i) {
            const char initial = i >= Size ? guard : i == Size - 1 ? '\0' : junk;
            if (buf[i] != initial) {
                return false;
            }
        }
        return true;
    }
};

template <std::size_t D, std::size_t R, std::size_t N, std::size_t E>
struct split_outputs {
    output<D> drive;
    output<R> dir;
    output<N> name;
    output<E> ext;
    bool guards_intact() const {
        return drive.guard_intact() && dir.guard_intact() && name.guard_intact() &&
               ext.guard_intact();
    }
    // The four parts as the splitter left them, against the expected ones.
    void expect_texts(std::string_view d, std::string_view r, std::string_view n,
                      std::string_view e) const {
        EXPECT_EQ(drive.text(), d);
        EXPECT_EQ(dir.text(), r);
        EXPECT_EQ(name.text(), n);
        EXPECT_EQ(ext.text(), e);
    }
};

using fixed_outputs = split_outputs<drive_buffer_size, directory_buffer_size,
                                    name_buffer_size, extension_buffer_size>;

struct split_case {
    const char* path;
    int result;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
};

TEST(ExplodePath, SplitsWithFixedSizes) {
    const split_case cases[] = {
        {R"(C:\data\obs.fits.gz)", 0, "C:", R"(\data\)", "obs.fits", ".gz"},
        {"C:/data/obs.fits", 0, "C:", "/data/", "obs", ".fits"},
        {"obs.fits", 0, "", "", "obs", ".fits"},
        {"obs", 0, "", "", "obs", ""},
        {"/abc", 0, "", "/", "abc", ""},
        {"dir/", 0, "", "dir/", "", ""},
        {"C:", 0, "C:", "", "", ""},
        {"C:x.y", 0, "C:", "", "x", ".y"},
        {"a.b/c", 0, "", "a.b/", "c", ""},
        {"dir/.profile", 0, "", "dir/", "", ".profile"},
        {".profile", 0, "", "", "", ".profile"},
        {"..", 0, "", "", ".", "."},
        {"name.", 0, "", "", "name", "."},
        {"ab:c.d", 38, "ab", "", "c", ".d"},
        {"a:b:c/d", 38, "a:", "c/", "d", ""},
        {"", 0, "", "", "", ""},
        // Beyond the common shapes.
        {"/", 0, "", "/", "", ""},
        {".", 0, "", "", "", "."},
        {"a.b.c", 0, "", "", "a.b", ".c"},
        {"dir.d/", 0, "", "dir.d/", "", ""},
        {"a.:b", 38, "a.", "", "b", ""},
        {R"(\\server\share\obs.fits)", 0, "", R"(\\server\share\)", "obs", ".fits"},
        {R"(d:\)", 0, "d:", R"(\)", "", ""},
        {"x:/a/b/c.tar.gz", 0, "x:", "/a/b/", "c.tar", ".gz"},
        {"./obs.fits", 0, "", "./", "obs", ".fits"},
        {"../obs", 0, "", "../", "obs", ""},
        {"OBS.FITS", 0, "", "", "OBS", ".FITS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path \"" << c.path << "\"");
        fixed_outputs out;
        EXPECT_EQ(explode_path(c.path, out.drive.data(), out.dir.data(), out.name.data(),
                               out.ext.data()),
                  c.result);
        out.expect_texts(c.drive, c.dir, c.name, c.ext);
        EXPECT_TRUE(out.guards_intact());
    }
}

struct long_part_case {
    std::string label;
    std::string path;
    int result;
    std::string drive, dir, name, ext;
};

TEST(ExplodePath, CutsTooLongPartsAndStops) {
    const std::string n255(255, 'n');
    const std::string n256(256, 'n');
    const std::string d253(253, 'd');
    const std::string d254(254, 'd');
    const std::string e255 = "." + std::string(254, 'e');
    const long_part_case cases[] = {
        {"name of 255", n255 + ".fits", 0, "", "", n255, ".fits"},
        {"name of 256", n256 + ".fits", 38, "", "", n255, ".fits"},
        {"name of 300", std::string(300, 'n'), 38, "", "", n255, ""},
        {"name of 256 behind dir and drive", "C:/dir/" + n256 + ".fits", 38, "", "", n255,
         ".fits"},
        {"extension of 255", "obs" + e255, 0, "", "", "obs", e255},
        {"extension of 256", "C:/dir/obs" + e255 + "x", 38, "", "", "", e255},
        {"directory of 255", "C:/" + d253 + "/obs", 0, "C:", "/" + d253 + "/", "obs", ""},
        {"directory of 256", "C:/" + d254 + "/obs", 38, "", "/" + d254, "obs", ""},
        {"drive of 3", "C::x", 38, "C:", "", "x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.label << ": path \"" << c.path << "\"");
        fixed_outputs out;
        EXPECT_EQ(explode_path(c.path.c_str(), out.drive.data(), out.dir.data(),
                               out.name.data(), out.ext.data()),
                  c.result);
        out.expect_texts(c.drive, c.dir, c.name, c.ext);
        EXPECT_TRUE(out.guards_intact());
    }
}

struct sized_split_case {
    const char* path;
    std::size_t drive_size, dir_size, name_size, ext_size;
    int result;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
};

TEST(ExplodePath, HonoursGivenSizes) {
    const sized_split_case cases[] = {
        {"C:/data/obs.fits", 3, 7, 4, 6, 0, "C:", "/data/", "obs", ".fits"},
        {"C:/data/obs.fits", 3, 7, 4, 5, 38, "", "", "", ".fit"},
        {"C:/data/obs.fits", 3, 7, 3, 6, 38, "", "", "ob", ".fits"},
        {"C:/data/obs.fits", 3, 6, 4, 6, 38, "", "/data", "obs", ".fits"},
        {"C:/data/obs.fits", 2, 7, 4, 6, 38, "C", "/data/", "obs", ".fits"},
        {"C:/data/obs.fits", 1, 1, 1, 1, 38, "", "", "", ""},
        {"host:share:/f", 12, 2, 2, 1, 0, "host:share:", "/", "f", ""},
        {"a:b:c/d", 5, 3, 2, 1, 0, "a:b:", "c/", "d", ""},
        {"ab:c.d", 4, 1, 2, 3, 0, "ab:", "", "c", ".d"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "path \"" << c.path << "\", sizes " << c.drive_size
                                        << "/" << c.dir_size << "/" << c.name_size << "/"
                                        << c.ext_size);
        split_outputs<16, 16, 16, 16> out;
        EXPECT_EQ(explode_path_n(c.path, out.drive.data(), c.drive_size, out.dir.data(),
                                 c.dir_size, out.name.data(), c.name_size, out.ext.data(),
                                 c.ext_size),
                  c.result);
        out.expect_texts(c.drive, c.dir, c.name, c.ext);
        // Nothing written at or beyond the given sizes.
        EXPECT_TRUE(out.drive.untouched_from(c.drive_size));
        EXPECT_TRUE(out.dir.untouched_from(c.dir_size));
        EXPECT_TRUE(out.name.untouched_from(c.name_size));
        EXPECT_TRUE(out.ext.untouched_from(c.ext_size));
    }
}

struct null_output_case {
    const char* label;
    const char* path;
    bool want_drive, want_dir, want_name, want_ext;
    int result;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
};

TEST(ExplodePath, SkipsNullOutputs) {
    const std::string long_ext = "obs." + std::string(300, 'e');
    const std::string long_name = "C:/dir/" + std::string(300, 'n') + ".fits";
    const null_output_case cases[] = {
        // Without an extension output the extension is still cut off the name.
        {"no extension output", "C:/d/obs.fits.gz", true, true, true, false, 0, "C:", "/d/",
         "obs.fits", ""},
        {"only the name", "C:/d/obs.fits.gz", false, false, true, false, 0, "", "", "obs.fits",
         ""},
        {"nothing wanted", "C:/d/obs.fits.gz", false, false, false, false, 0, "", "", "", ""},
        // A part that is not wanted cannot be too long.
        {"long extension not wanted", long_ext.c_str(), true, true, true, false, 0, "", "",
         "obs", ""},
        {"long name not wanted", long_name.c_str(), true, true, false, true, 0, "C:", "/dir/",
         "", ".fits"},
        {"long drive not wanted", "host:/x", false, true, true, true, 0, "", "/", "x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.label << ": path \"" << c.path << "\"");
        fixed_outputs out;
        EXPECT_EQ(explode_path(c.path, c.want_drive ? out.drive.data() : nullptr,
                               c.want_dir ? out.dir.data() : nullptr,
                               c.want_name ? out.name.data() : nullptr,
                               c.want_ext ? out.ext.data() : nullptr),
                  c.result);
        if (c.want_drive) {
            EXPECT_EQ(out.drive.text(), c.drive);
        }
        if (c.want_dir) {
            EXPECT_EQ(out.dir.text(), c.dir);
        }
        if (c.want_name) {
            EXPECT_EQ(out.name.text(), c.name);
        }
        if (c.want_ext) {
            EXPECT_EQ(out.ext.text(), c.ext);
        }
        EXPECT_TRUE(out.guards_intact());
    }
}

TEST(ExplodePath, NullPathEmptiesOutputs) {
    fixed_outputs out;
    EXPECT_EQ(explode_path(nullptr, out.drive.data(), out.dir.data(), out.name.data(),
                           out.ext.data()),
              path_ok);
    EXPECT_EQ(out.drive.text(), "");
    EXPECT_EQ(out.dir.text(), "");
    EXPECT_EQ(out.name.text(), "");
    EXPECT_EQ(out.ext.text(), "");
}

TEST(ExplodePath, LeavesCallersPathAlone) {
    for (const char* original : {"C:/data/obs.fits.gz", "a:b:c/d", "..", "dir/"}) {
        SCOPED_TRACE(testing::Message() << "path \"" << original << "\"");
        std::string path = original;
        fixed_outputs out;
        explode_path(path.c_str(), out.drive.data(), out.dir.data(), out.name.data(),
                     out.ext.data());
        EXPECT_EQ(path, original);
        EXPECT_EQ(std::strlen(path.c_str()), path.size());
    }
}

#if defined(__linux__)
// Address space of this process now, in bytes (first field of statm, pages).
std::size_t address_space_in_use() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return 0;
    }
    unsigned long pages = 0;
    const int got = std::fscanf(statm, "%lu", &pages);
    std::fclose(statm);
    return got == 1 ? pages * 4096 : 0;
}

// In a child process whose address space is capped just above what it uses,
// the private copy of a long path cannot be allocated. The child ends with
// the splitter's result, or 1 when the outputs were not left empty.
[[noreturn, maybe_unused]] void split_with_capped_memory() {
    constexpr std::size_t path_length = 64u << 20;
    constexpr std::size_t headroom = 16u << 20;
    std::string path = "C:/data/" + std::string(path_length, 'n') + ".fits";
    fixed_outputs out;
    const std::size_t in_use = address_space_in_use();
    const rlimit cap{in_use + headroom, in_use + headroom};
    if (in_use == 0 || setrlimit(RLIMIT_AS, &cap) != 0) {
        std::_Exit(2);
    }
    const int result = explode_path(path.c_str(), out.drive.data(), out.dir.data(),
                                    out.name.data(), out.ext.data());
    const bool emptied = out.drive.text().empty() && out.dir.text().empty() &&
                         out.name.text().empty() && out.ext.text().empty();
    std::_Exit(emptied ? result : 1);
}
#endif

TEST(ExplodePathDeathTest, ReportsFailedCopyAndEmptiesOutputs) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A cap on the address space leaves the sanitizers no room for their
    // shadow memory: the sanitizer would die before the allocation fails.
    GTEST_SKIP() << "an address-space limit and the sanitizers do not mix";
#elif defined(__linux__)
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(split_with_capped_memory(), testing::ExitedWithCode(path_out_of_memory), "");
#else
    GTEST_SKIP() << "needs an address-space limit to make the allocation fail";
#endif
}

TEST(ExplodePath, ResultCodesAreFixedNumbers) {
    // Callers and logs see the numbers, not the names.
    EXPECT_EQ(path_ok, 0);
    EXPECT_EQ(path_out_of_memory, 12);
    EXPECT_EQ(path_buffer_too_small, 38);
}

struct join_case {
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
    int result;
    const char* expected;
};

std::string show(const char* part) { return part == nullptr ? "(null)" : std::string(part); }

TEST(CombinePath, JoinsWithFixedSize) {
    const join_case cases[] = {
        {"C", "dir", "name", "txt", 0, "C:dir/name.txt"},
        {"C:", R"(dir\)", "name", ".txt", 0, R"(C:dir\name.txt)"},
        {"", "", "obs.fits", "000", 0, "obs.fits.000"},
        {"", "", "", "000", 0, ".000"},
        {nullptr, nullptr, nullptr, nullptr, 0, ""},
        {"", "a/b", "c", ".", 0, "a/b/c."},
        {"", "", "", "", 0, ""},
        {nullptr, nullptr, "obs", nullptr, 0, "obs"},
        {"C:", "/", "", "", 0, "C:/"},
        {"", "dir/", "", ".profile", 0, "dir/.profile"},
        {"", "", ".", ".", 0, ".."},
        // A ':' ends a drive, not a directory.
        {"", "x:", "f", "", 0, "x:/f"},
        {"host:share", "", "f", "", 0, "host:share:f"},
        {"", "", "obs.fits", "001", 0, "obs.fits.001"},
        {"", "", "obs.fits", "1000", 0, "obs.fits.1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "parts " << show(c.drive) << " / " << show(c.dir)
                                        << " / " << show(c.name) << " / " << show(c.ext));
        std::array<char, combined_buffer_size + guard_bytes> dest;
        dest.fill(junk);
        std::fill(dest.begin() + combined_buffer_size, dest.end(), guard);
        EXPECT_EQ(combine_path(dest.data(), c.drive, c.dir, c.name, c.ext), c.result);
        EXPECT_STREQ(dest.data(), c.expected);
        EXPECT_EQ(std::string(dest.data() + combined_buffer_size, guard_bytes),
                  std::string(guard_bytes, guard));
    }
}

struct sized_join_case {
    std::size_t size;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
    int result;
    const char* expected;
};

TEST(CombinePath, CutsToSize) {
    const sized_join_case cases[] = {
        {10, "", "", "abcdef", "000", 38, "abcdef.00"},
        {11, "", "", "abcdef", "000", 0, "abcdef.000"},
        {12, "", "", "abcdef", "000", 0, "abcdef.000"},
        {1, "", "", "", "", 0, ""},
        {1, "", "", "a", "", 38, ""},
        // Cut inside each step and on each added separator.
        {2, "C", "dir", "n", "e", 38, "C"},
        {3, "C", "dir", "n", "e", 38, "C:"},
        {5, "C", "dir", "n", "e", 38, "C:di"},
        {6, "C", "dir", "n", "e", 38, "C:dir"},
        {7, "C", "dir", "n", "e", 38, "C:dir/"},
        {8, "C", "dir", "n", "e", 38, "C:dir/n"},
        {9, "C", "dir", "n", "e", 38, "C:dir/n."},
        {10, "C", "dir", "n", "e", 0, "C:dir/n.e"},
        {4, "C:", "/", "", "", 0, "C:/"},
        {3, "C:", "/", "", "", 38, "C:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << ", parts " << show(c.drive)
                                        << " / " << show(c.dir) << " / " << show(c.name)
                                        << " / " << show(c.ext));
        std::array<char, 16 + guard_bytes> dest;
        dest.fill(guard);
        EXPECT_EQ(combine_path_n(dest.data(), c.size, c.drive, c.dir, c.name, c.ext),
                  c.result);
        EXPECT_STREQ(dest.data(), c.expected);
        for (std::size_t i = c.size; i < dest.size(); ++i) {
            EXPECT_EQ(dest[i], guard) << "byte " << i << " written";
        }
    }
}

TEST(CombinePath, NullDestinationWritesNothing) {
    EXPECT_EQ(combine_path_n(nullptr, 10, "C", "dir", "name", "ext"), path_ok);
    EXPECT_EQ(combine_path(nullptr, "C", "dir", "name", "ext"), path_ok);
}

// Splitting and joining again gives the path back whenever nothing was cut.
void expect_round_trip(const std::string& path) {
    SCOPED_TRACE(testing::Message() << "path \"" << path << "\"");
    std::array<char, 64> drive, dir, name, ext;
    ASSERT_EQ(explode_path_n(path.c_str(), drive.data(), drive.size(), dir.data(), dir.size(),
                             name.data(), name.size(), ext.data(), ext.size()),
              path_ok);
    std::array<char, 64> joined;
    ASSERT_EQ(combine_path_n(joined.data(), joined.size(), drive.data(), dir.data(),
                             name.data(), ext.data()),
              path_ok);
    EXPECT_EQ(std::string(joined.data()), path);

    // The parts as the path's own pieces: an extension is its last dot and
    // what follows, with no separator; the name has no separator; the drive
    // ends with ':' and the directory has none.
    const std::string d = drive.data(), r = dir.data(), n = name.data(), e = ext.data();
    constexpr const char* separators = R"(/\:)";
    if (!e.empty()) {
        EXPECT_EQ(e[0], '.');
        EXPECT_EQ(e.find_first_of(separators), std::string::npos);
        EXPECT_EQ(path.rfind('.'), path.size() - e.size());
    } else {
        const auto dot = path.rfind('.');
        EXPECT_TRUE(dot == std::string::npos ||
                    path.find_first_of(separators, dot) != std::string::npos);
    }
    EXPECT_EQ(n.find_first_of(separators), std::string::npos);
    EXPECT_TRUE(d.empty() || d.back() == ':');
    EXPECT_EQ(r.find(':'), std::string::npos);
    EXPECT_TRUE(r.empty() || r.back() == '/' || r.back() == '\\');
}

TEST(PathRoundTrip, ListedPaths) {
    const char* paths[] = {
        R"(C:\data\obs.fits.gz)", "C:/data/obs.fits", "obs.fits", "obs", "/abc", "dir/",
        "C:", "C:x.y", "a.b/c", "dir/.profile", ".profile", "..", "name.", "ab:c.d",
        "a:b:c/d", "", "/", ".", R"(\\server\share\evt.fits)", "./rel/../x.y.z",
        "host:share:/deep/er/file.tar.gz", "a.:b", "::", "/.", "trailing.dot./x",
    };
    for (const char* p : paths) {
        expect_round_trip(p);
    }
}

TEST(PathRoundTrip, EveryShortPathOverSeparatorsAndDots) {
    // Every path of up to 5 characters over a letter, '.', and the three
    // separators: all the orders in which they can meet.
    constexpr std::string_view alphabet = R"(a./\:)";
    std::vector<std::string> level{""};
    for (int length = 0; length <= 5; ++length) {
        std::vector<std::string> next;
        for (const auto& p : level) {
            expect_round_trip(p);
            for (char c : alphabet) {
                next.push_back(p + c);
            }
        }
        level = std::move(next);
    }
}

}  // namespace
