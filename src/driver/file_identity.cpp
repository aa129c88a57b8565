#include "driver/file_identity.h"

#if defined(_WIN32)

#include <cstring>

#include <io.h>
#include <windows.h>

namespace {

struct FileIdentity {
    unsigned long long volume; // 0: not known
    unsigned long long index_low;
    unsigned long long index_high;
};

// The file's identity from the volume serial number and the file index. Wine
// cannot tell them for a handle it inherited from a Unix descriptor; there
// the file ID gives the index, and the volume stays unknown.
bool identity_of_handle(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(handle, &information) != 0) {
        identity = {information.dwVolumeSerialNumber,
                    (static_cast<unsigned long long>(information.nFileIndexHigh) << 32U) |
                        information.nFileIndexLow,
                    0};
        return true;
    }
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) == 0) {
        return false;
    }
    identity.volume = id.VolumeSerialNumber;
    std::memcpy(&identity.index_low, id.FileId.Identifier, sizeof identity.index_low);
    std::memcpy(&identity.index_high, id.FileId.Identifier + sizeof identity.index_low,
                sizeof identity.index_high);
    return true;
}

// No access rights and full sharing: only the identity is read, and a file
// that another program holds open can still be asked.
bool identity_of_name(const char* name, FileIdentity& identity) {
    HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = identity_of_handle(handle, identity);
    CloseHandle(handle);
    return known;
}

// Where a volume is not known, the index alone decides: refusing a run is
// better than truncating its message.
bool same_identity(const FileIdentity& first, const FileIdentity& second) {
    const bool volume_matches =
        first.volume == second.volume || first.volume == 0 || second.volume == 0;
    return volume_matches && first.index_low == second.index_low &&
           first.index_high == second.index_high;
}

// A pipe, the console and NUL are no disk files; a directory is no regular one.
bool is_regular_file(HANDLE handle) {
    FILE_STANDARD_INFO information{};
    return GetFileType(handle) == FILE_TYPE_DISK &&
           GetFileInformationByHandleEx(handle, FileStandardInfo, &information,
                                        sizeof information) != 0 &&
           information.Directory == FALSE;
}

// The handle beneath a stream; INVALID_HANDLE_VALUE where it has none.
HANDLE handle_of(std::FILE* stream) {
    const int descriptor = _fileno(stream);
    return descriptor < 0 ? INVALID_HANDLE_VALUE
                          : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

} // namespace

bool names_denote_same_file(const char* first_name, const char* second_name) {
    FileIdentity first{};
    FileIdentity second{};
    return identity_of_name(first_name, first) && identity_of_name(second_name, second) &&
           same_identity(first, second);
}

bool stream_is_named_file(std::FILE* stream, const char* name) {
    const HANDLE handle = handle_of(stream);
    FileIdentity of_stream{};
    FileIdentity of_name{};
    return handle != INVALID_HANDLE_VALUE && is_regular_file(handle) &&
           identity_of_handle(handle, of_stream) && identity_of_name(name, of_name) &&
           same_identity(of_stream, of_name);
}

bool stream_is_directory(std::FILE* stream) {
    FILE_STANDARD_INFO information{};
    return GetFileInformationByHandleEx(handle_of(stream), FileStandardInfo, &information,
                                        sizeof information) != 0 &&
           information.Directory != FALSE;
}

bool stream_is_regular_file(std::FILE* stream) {
    const HANDLE handle = handle_of(stream);
    return handle != INVALID_HANDLE_VALUE && is_regular_file(handle);
}

#else

#include <sys/stat.h>

namespace {

bool same_identity(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

bool names_denote_same_file(const char* first_name, const char* second_name) {
    struct stat first = {};
    struct stat second = {};
    return stat(first_name, &first) == 0 && stat(second_name, &second) == 0 &&
           same_identity(first, second);
}

bool stream_is_named_file(std::FILE* stream, const char* name) {
    const int descriptor = fileno(stream);
    struct stat of_stream = {};
    struct stat of_name = {};
    return descriptor >= 0 && fstat(descriptor, &of_stream) == 0 && S_ISREG(of_stream.st_mode) &&
           stat(name, &of_name) == 0 && same_identity(of_stream, of_name);
}

bool stream_is_directory(std::FILE* stream) {
    struct stat status = {};
    return fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode);
}

bool stream_is_regular_file(std::FILE* stream) {
    struct stat status = {};
    return fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);
}

#endif
