#include "util/mypath.h"

#include <new>
#include <string>

#include "util/compat.h"

namespace orvex::util {

namespace {

constexpr bool is_separator(char c) noexcept {
    return c == '/' || c == '\\' || c == ':';
}

// Empties an output that was given; a zero-sized one has no room even for
// the NUL and is left alone.
void clear_output(char* out, std::size_t size) noexcept {
    if (out != nullptr && size != 0) {
        out[0] = '\0';
    }
}

// Copies one part into an output that was given. Returns false when the
// part was cut to fit.
bool fill_output(char* out, std::size_t size, const char* part) noexcept {
    return out == nullptr || util::strlcpy(out, part, size) < size;
}

// Writes characters into a fixed buffer while there is room and tells
// whether the buffer has run full.
class bounded_writer {
public:
    bounded_writer(char* dest, std::size_t size) noexcept
        : dest_{dest}, size_{size} {}

    void put(char c) noexcept {
        if (pos_ < size_) {
            dest_[pos_++] = c;
        }
    }

    void put(const char* text) noexcept {
        for (; *text != '\0' && pos_ < size_; ++text) {
            dest_[pos_++] = *text;
        }
    }

    // Full also when the text fills the buffer exactly: the NUL would not fit.
    bool full() const noexcept { return pos_ >= size_; }

    // Keeps what fits and closes it.
    int cut() noexcept {
        dest_[size_ - 1] = '\0';
        return path_buffer_too_small;
    }

    int close() noexcept {
        dest_[pos_] = '\0';
        return path_ok;
    }

private:
    char* dest_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr bool has_text(const char* part) noexcept {
    return part != nullptr && *part != '\0';
}

char last_char(const char* text) noexcept {
    return text[std::char_traits<char>::length(text) - 1];
}

}  // namespace

int explode_path_n(const char* path,
                   char* drive, std::size_t drive_size,
                   char* dir, std::size_t dir_size,
                   char* name, std::size_t name_size,
                   char* ext, std::size_t ext_size) noexcept {
    clear_output(drive, drive_size);
    clear_output(dir, dir_size);
    clear_output(name, name_size);
    clear_output(ext, ext_size);
    if (path == nullptr) {
        return path_ok;
    }

    // The parts are cut out of a private copy by writing NULs into it; the
    // caller's string stays as it was.
    std::string copy;
    try {
        copy.assign(path);
    } catch (const std::bad_alloc&) {
        return path_out_of_memory;
    }
    char* const text = copy.data();

    // Extension: back from the last character to the nearest dot or
    // separator; only a dot starts an extension.
    std::size_t stop = copy.empty() ? 0 : copy.size() - 1;
    while (stop > 0 && text[stop] != '.' && !is_separator(text[stop])) {
        --stop;
    }
    if (text[stop] == '.') {
        if (!fill_output(ext, ext_size, text + stop)) {
            return path_buffer_too_small;
        }
        text[stop] = '\0';
    }

    // Name: after the nearest separator at or before that place.
    std::size_t name_sep = stop;
    while (name_sep > 0 && !is_separator(text[name_sep])) {
        --name_sep;
    }
    const bool has_prefix = is_separator(text[name_sep]);
    if (!fill_output(name, name_size, has_prefix ? text + name_sep + 1 : text)) {
        return path_buffer_too_small;
    }
    if (!has_prefix) {
        return path_ok;
    }
    text[name_sep + 1] = '\0';

    // Directory: after the nearest ':' at or before the name's separator.
    std::size_t colon = name_sep;
    while (colon > 0 && text[colon] != ':') {
        --colon;
    }
    const bool has_drive = text[colon] == ':';
    if (!fill_output(dir, dir_size, has_drive ? text + colon + 1 : text)) {
        return path_buffer_too_small;
    }
    if (!has_drive) {
        return path_ok;
    }
    text[colon + 1] = '\0';

    // Drive: the rest, with its ':'.
    if (!fill_output(drive, drive_size, text)) {
        return path_buffer_too_small;
    }
    return path_ok;
}

int explode_path(const char* path, char* drive, char* dir, char* name,
                 char* ext) noexcept {
    return explode_path_n(path, drive, drive_buffer_size, dir,
                          directory_buffer_size, name, name_buffer_size, ext,
                          extension_buffer_size);
}

int combine_path_n(char* dest, std::size_t size, const char* drive,
                   const char* dir, const char* name, const char* ext) noexcept {
    if (dest == nullptr) {
        return path_ok;
    }
    if (size == 0) {
        // Outside the contract: not even the NUL fits, so nothing is written.
        return path_buffer_too_small;
    }
    bounded_writer out{dest, size};

    // The writer stops at the end of the buffer, so one test after the last
    // part tells whether anything was cut.
    if (has_text(drive)) {
        out.put(drive);
        if (last_char(drive) != ':') {
            out.put(':');
        }
    }
    // The separator added is always '/', whatever the directory uses.
    if (has_text(dir)) {
        out.put(dir);
        const char dir_end = last_char(dir);
        if (dir_end != '/' && dir_end != '\\') {
            out.put('/');
        }
    }
    if (name != nullptr) {
        out.put(name);
    }
    if (has_text(ext)) {
        if (ext[0] != '.') {
            out.put('.');
        }
        out.put(ext);
    }
    if (out.full()) {
        return out.cut();
    }
    return out.close();
}

int combine_path(char* dest, const char* drive, const char* dir,
                 const char* name, const char* ext) noexcept {
    return combine_path_n(dest, combined_buffer_size, drive, dir, name, ext);
}

}  // namespace orvex::util
