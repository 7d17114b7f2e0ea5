#include "panel/framework/list_file_edit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include <QApplication>

#include "panel/framework/message_box.h"
#include "panel/framework/outside_program.h"
#include "panel/framework/panel_state.h"
#include "panel/framework/user_language.h"
#include "platform/codepage/codepage.h"
#include "platform/io/full_write.h"

namespace panel {
namespace {

constexpr int kJapanese = 1041;

// Written under a temporary name and moved in only while the name is still
// free: the servers never read a half-written file, and a file someone
// made meanwhile is kept.
void CreateWhole(const std::string& path, const std::string& bytes) {
    static unsigned counter = 0;
    std::string temporary = path + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return;
    bool written = platform::WriteAll(fd, bytes) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return;
    // A file system without the no-replace rename: a hard link does the same.
    if (written && (errno == EINVAL || errno == ENOSYS)) ::link(temporary.c_str(), path.c_str());
    ::unlink(temporary.c_str());
}

}  // namespace

std::string ListFileBytes(const std::vector<std::string>& header, const std::vector<std::string>& rows) {
    std::string text;
    for (const auto* lines : {&header, &rows})
        for (const std::string& line : *lines) text += line + "\r\n";
    return platform::Utf8ToCp932(text);
}

void EditListFile(const std::string& fileName, const std::vector<std::string>& header,
                  const std::vector<std::string>& rows) {
    std::string path = DataFolder() + fileName;
    struct stat entry;
    // Only a name that is really free gets a new file: one that exists but
    // cannot be read keeps what it holds.
    if (::lstat(path.c_str(), &entry) != 0 && errno == ENOENT) {
        bool japanese = GetUserDefaultLangID() == kJapanese;
        CreateWhole(path, japanese ? ListFileBytes(header, rows) : std::string());
    }
    const std::string editor = EditorPrefix();
    if (StartOutsideProgram(editor, {path})) return;
    // Without a word the button would seem to do nothing at all.
    QWidget* owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : QApplication::activeWindow();
    ShowMessage(owner,
                QString::fromUtf8("エディタを起動できませんでした。\r\nファイル: %1\r\nコマンド: %2\r\n"
                                  "（環境変数 VELQOR_EDITOR で別のエディタを指定できます。）")
                    .arg(QString::fromStdString(path), QString::fromStdString(editor)),
                QMessageBox::Warning);
}

}  // namespace panel
