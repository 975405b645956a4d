// The small helpers start-up relies on: splitting the command line, taking a
// path's folder, and telling whether a file can be read.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CommonDlg_API.h"
#include "paths.h"

namespace {

struct Split {
    const char* text;
    const char* separator;
    std::size_t table_size;
    std::vector<const char*> fields;  // the whole table afterwards; "#" marks an untouched entry
};

std::ostream& operator<<(std::ostream& os, const Split& s) { return os << '"' << s.text << '"'; }

class SplitFields : public testing::TestWithParam<Split> {};

TEST_P(SplitFields, FillsTheTableFromTheStart) {
    const Split& s = GetParam();
    std::vector<QString> table(s.table_size, QStringLiteral("#"));
    split_fields(table, QString::fromUtf8(s.text), QString::fromUtf8(s.separator));
    ASSERT_EQ(table.size(), s.table_size);  // never grown
    for (std::size_t i = 0; i < s.table_size; ++i)
        EXPECT_EQ(table[i].toStdString(), std::string(s.fields[i])) << "field " << i;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SplitFields,
    testing::Values(Split{"a;b", ";", 4, {"a", "b", "#", "#"}}, Split{"a;;b", ";", 4, {"a", "", "b", "#"}},
                    Split{"a;", ";", 3, {"a", "", "#"}}, Split{"", ";", 2, {"", "#"}},
                    Split{";D:\\photos", ";", 3, {"", "D:\\photos", "#"}},
                    Split{"C:\\img\\123.jpg;D:\\photos;extra", ";", 2, {"C:\\img\\123.jpg", "D:\\photos"}},
                    Split{"a;b;c;d;e", ";", 1, {"a"}}, Split{"a;b", ";", 0, {}},
                    Split{"one::two:three", "::", 3, {"one", "two:three", "#"}},
                    Split{"aXbxc", "x", 3, {"aXb", "c", "#"}},
                    Split{"\"C:\\a b\\x.jpg\"", ";", 2, {"\"C:\\a b\\x.jpg\"", "#"}}));

TEST(SplitFields, ManyMoreFieldsThanTheTableHolds) {
    std::vector<QString> table(101);
    QString text;
    for (int i = 0; i < 40000; ++i) text += QString::number(i) + ';';
    split_fields(table, text, QStringLiteral(";"));
    EXPECT_EQ(table[0], "0");
    EXPECT_EQ(table[100], "100");
}

struct Folder {
    const char* path;  // '|' stands for the folder separator, '~' for the other slash
    const char* folder;
};

std::ostream& operator<<(std::ostream& os, const Folder& f) { return os << f.path; }

// Paths are built with the platform's separator, so the cases hold anywhere.
QString p(const char* text) {
    return QString::fromUtf8(text).replace('|', kFolderSeparator).replace('~', kFolderSeparator == u'/' ? '\\' : '/');
}

class GetFolder : public testing::TestWithParam<Folder> {};

TEST_P(GetFolder, KeepsEverythingUpToTheLastSeparator) {
    const QString path = p(GetParam().path);
    const QString folder = get_folder(path);
    EXPECT_EQ(folder, p(GetParam().folder));
    EXPECT_TRUE(path.startsWith(folder));  // folder + file name gives the path back
}

INSTANTIATE_TEST_SUITE_P(Paths, GetFolder,
                         testing::Values(Folder{"123.jpg", ""}, Folder{"", ""}, Folder{"|img|123.jpg", "|img|"},
                                         Folder{"|img|", "|img|"}, Folder{"|img||", "|img||"},
                                         Folder{"||server|share|a.jpg", "||server|share|"}, Folder{"|", "|"},
                                         Folder{"img|sub|a b.jpg", "img|sub|"}, Folder{"img~123.jpg", ""}));

class FileExists : public testing::Test {
protected:
    QTemporaryDir dir;
    QString make(const QString& name, const QByteArray& content) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }
    // Runs `body` in a child killed after ten seconds; its exit code, or -1
    // when it did not end by itself.
    static int in_child(const std::function<int()>& body) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            ::_exit(body());
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(FileExists, OnlyReadableFilesCount) {
    EXPECT_TRUE(file_exists(make("picture.jpg", "data")));
    EXPECT_TRUE(file_exists(make("empty.jpg", {})));
    EXPECT_TRUE(file_exists(make("a b é.jpg", "x")));  // blanks and accents in the name
    EXPECT_FALSE(file_exists(QString()));
    EXPECT_FALSE(file_exists(dir.path()));
    EXPECT_FALSE(file_exists(dir.filePath("missing.jpg")));
    // Even root cannot read below a regular file, nor through a dangling link.
    EXPECT_FALSE(file_exists(make("plain", "x") + "/inside.jpg"));
    for (const auto& [name, target] :
         {std::pair{"dangling.jpg", dir.filePath("gone.jpg")}, {"folder_link", dir.path()}}) {
        const QString link = dir.filePath(name);
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
        EXPECT_FALSE(file_exists(link)) << name;
    }
}

// Root reads any file whatever its mode, so the check runs as an ordinary
// user in a child process.
TEST_F(FileExists, FileWithoutReadPermissionIsMissing) {
    const QString locked = make("locked.jpg", "x");
    const QString open = make("open.jpg", "x");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::ReadOther));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ExeOther));
    EXPECT_EQ(in_child([&] {
                  if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
                  return (file_exists(open) ? 0 : 1) | (file_exists(locked) ? 2 : 0);
              }),
              0)
        << "1: readable file not found, 2: unreadable file found, 3: no ordinary user";
}

TEST_F(FileExists, NamedPipeWithoutWriterDoesNotHang) {
    const QString fifo = dir.filePath("pipe.jpg");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
    EXPECT_EQ(in_child([&] { return file_exists(fifo) ? 0 : 1; }), 0) << "-1: file_exists blocked on a named pipe";
}

}  // namespace
