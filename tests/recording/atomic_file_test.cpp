#include "recording/atomic_file.h"

#include "support/temp_dir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace noxa {
namespace {

ino_t Inode(const QString& name) {
    struct stat status {};
    return ::stat(QFile::encodeName(name).constData(), &status) == 0 ? status.st_ino : 0;
}

// Takes the right to ignore file permissions away from this thread, as long as it lives, so
// that a folder without write permission stops even root from creating files in it.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        if (::geteuid() != 0) return;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, lowered) == 0;
        failed_ = !active_;
    }
    ~WithoutPermissionOverride() {
        if (active_) ::syscall(SYS_capset, &header_, saved_);
    }
    bool Failed() const { return failed_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
    bool failed_ = false;
};

class ReplaceFileTest : public ::testing::Test {
protected:
    QString In(const char* name) const { return dir.Path() + "/" + name; }
    void WriteOld(const char* name) {
        QFile file(In(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old contents");
    }

    test::ScopedWorkDir dir;
    QString error;
};

TEST_F(ReplaceFileTest, ANewFileIsRenamedOverTheOldOne) {
    WriteOld("f");
    const ino_t before = Inode(In("f"));
    ASSERT_TRUE(ReplaceFile(In("f"), "new", error)) << error.toStdString();
    EXPECT_EQ(dir.ReadFile("f"), "new");
    EXPECT_NE(Inode(In("f")), before);  // a file of its own, not the old one rewritten
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f"});

    EXPECT_FALSE(ReplaceFile(In("missing/f"), "new", error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(ReplaceFileTest, AFileInAFolderThatCannotBeWrittenIsWrittenInPlace) {
    ASSERT_TRUE(QDir(dir.Path()).mkdir("ro"));
    WriteOld("ro/f");
    const ino_t before = Inode(In("ro/f"));
    ASSERT_EQ(::chmod(In("ro").toLocal8Bit().constData(), 0555), 0);
    bool replaced = false;
    {
        const WithoutPermissionOverride limited;
        if (limited.Failed()) {
            ::chmod(In("ro").toLocal8Bit().constData(), 0755);
            GTEST_SKIP() << "running as root without the means to give up overriding permissions";
        }
        replaced = ReplaceFile(In("ro/f"), "new", error);
    }
    ::chmod(In("ro").toLocal8Bit().constData(), 0755);
    ASSERT_TRUE(replaced) << error.toStdString();
    EXPECT_EQ(dir.ReadFile("ro/f"), "new");
    EXPECT_EQ(Inode(In("ro/f")), before);
    EXPECT_EQ(QDir(In("ro")).entryList(QDir::Files | QDir::Hidden), QStringList{"f"});
}

}  // namespace
}  // namespace noxa
