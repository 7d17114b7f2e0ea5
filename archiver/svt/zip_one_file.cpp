#include "archiver/svt/zip_one_file.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace archiver {
namespace {

struct ArchiveFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

bool Fail(const char* step, archive* a) {
    std::printf("ZpArchive failed with error %d. (%s: %s)\n", a ? archive_errno(a) : 0, step,
                a && archive_error_string(a) ? archive_error_string(a) : "");
    return false;
}

// What a sample of the file shrinks to at the fastest deflate level tells
// whether deflating it is worth the time: data that is already compressed
// (pictures, archives, office files) is stored instead.
constexpr size_t kSampleSize = 64 * 1024;

bool WorthDeflating(int input) {
    std::vector<char> sample(kSampleSize);
    const ssize_t got = ::pread(input, sample.data(), sample.size(), 0);
    if (got < static_cast<ssize_t>(4096)) return true;
    std::unique_ptr<archive, ArchiveFree> a(archive_write_new());
    std::vector<char> out(kSampleSize + 4096);
    size_t used = 0;
    if (!a || archive_write_set_format_zip(a.get()) != ARCHIVE_OK ||
        archive_write_set_options(a.get(), "zip:compression-level=1") != ARCHIVE_OK ||
        archive_write_open_memory(a.get(), out.data(), out.size(), &used) != ARCHIVE_OK)
        return true;
    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    archive_entry_copy_pathname(entry.get(), "s");
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), got);
    if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK ||
        archive_write_data(a.get(), sample.data(), static_cast<size_t>(got)) != got ||
        archive_write_close(a.get()) != ARCHIVE_OK)
        return true;
    // Headers and directory take some 150 bytes of the archive.
    return used < static_cast<size_t>(got) * 97 / 100 + 150;
}

bool WriteArchive(const ZipJob& job, int input, const struct stat& info) {
    std::unique_ptr<archive, ArchiveFree> a(archive_write_new());
    if (!a) return Fail("new", nullptr);
    if (archive_write_set_format_zip(a.get()) != ARCHIVE_OK) return Fail("format", a.get());
    // Deflate one step below zlib's default: archives within a percent of
    // its size at a clearly lower cost, which keeps a mail's wait short.
    const char* method = WorthDeflating(input) ? "zip:compression-level=5" : "zip:compression=store";
    if (archive_write_set_options(a.get(), method) != ARCHIVE_OK) return Fail("compression", a.get());
    if (job.password) {
        if (archive_write_set_options(a.get(), "zip:encryption=zipcrypt") != ARCHIVE_OK)
            return Fail("encryption", a.get());
        if (archive_write_set_passphrase(a.get(), job.password->c_str()) != ARCHIVE_OK)
            return Fail("passphrase", a.get());
    }
    if (archive_write_open_filename(a.get(), job.archive.c_str()) != ARCHIVE_OK) return Fail("open", a.get());

    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    // The program runs in the C locale, where libarchive stores the name's
    // bytes unchanged and without the UTF-8 flag.
    archive_entry_copy_pathname(entry.get(), job.entryName.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), info.st_size);
    archive_entry_set_mtime(entry.get(), info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    if (archive_write_header(a.get(), entry.get()) != ARCHIVE_OK) return Fail("header", a.get());

    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t got = ::read(input, buffer.data(), buffer.size());
        if (got < 0) return Fail("read", a.get());
        if (got == 0) break;
        if (archive_write_data(a.get(), buffer.data(), static_cast<size_t>(got)) != got)
            return Fail("data", a.get());
    }
    if (archive_write_close(a.get()) != ARCHIVE_OK) return Fail("close", a.get());
    std::printf("--Zipped %s - %lld bytes...\n\n", job.entryName.c_str(), static_cast<long long>(info.st_size));
    return true;
}

}  // namespace

bool ZipOneFile(const ZipJob& job) {
    // Never add to what an earlier run left behind.
    ::unlink(job.archive.c_str());
    const int input = ::open(job.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) {
        std::printf("ZpArchive failed with error %d.\n", errno);
        return false;
    }
    struct stat info{};
    bool ok = ::fstat(input, &info) == 0 && S_ISREG(info.st_mode) && WriteArchive(job, input, info);
    ::close(input);
    if (!ok) ::unlink(job.archive.c_str());
    return ok;
}

}  // namespace archiver
