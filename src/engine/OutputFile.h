#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvane {

// One output MP3 while it is being written. Its bytes go to a hidden
// temporary file in the destination folder (same file system, so the final
// rename is atomic); the file gets its final name only when it is complete,
// and a conversion that stops, fails or is killed by a signal we handle
// leaves no file under a finished file's name. Creating never follows a
// symbolic link and never opens an existing file; the final rename never
// replaces anything: when the chosen name was taken meanwhile (another run
// into the same folder, a user), the next free numbered name is used.
//
// Writes are buffered; the first failure sticks (Error()), and later writes
// do nothing, so a caller may check once at the end or after each write.
//
// Thread safety: one thread at a time. The destructor discards a file that
// was not committed.
class OutputFile {
public:
    // destinationPath: the name the driver chose (possibly already numbered);
    // basePath: the unnumbered name that numbering restarts from when the
    // chosen one is taken at commit time (empty: destinationPath).
    explicit OutputFile(QString destinationPath, QString basePath = QString());
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. False with Error() set.
    bool Create();
    // Appends bytes at the end of what was written so far.
    bool Append(const void* data, size_t size);
    // Writes out what is buffered, so that a failure shows up now.
    bool Flush();
    // Overwrites bytes already written (the MP3 Info frame, once its counts
    // are known); the range must lie within what was appended.
    bool WriteAt(uint64_t offset, const void* data, size_t size);
    // Writes out the buffer, syncs the data to the disk and closes the file.
    // A full disk or a file-size limit shows up here at the latest.
    bool Close();
    // Gives the closed, complete file its final name. Returns that name
    // (the destination, or a numbered variant of the base when the
    // destination was taken meanwhile), or an empty string with Error() set.
    QString Commit();
    // Removes the temporary file unless it was committed. Safe to repeat.
    void Discard();

    const QString& TemporaryPath() const { return temporary; }
    uint64_t Size() const { return size; }
    int Error() const { return error; } // errno of the first failure; 0: none
    QString ErrorText() const;

    // The hidden name a temporary file for `destinationPath` gets, with
    // `unique` (six characters) keeping two of them apart. Fits the folder's
    // longest name however long the destination's name is.
    static QString TemporaryPathFor(const QString& destinationPath, const QString& unique);

private:
    bool Fail(int errorNumber);
    bool FlushBuffer();

    QString destination;
    QString base;
    QString temporary;
    int fd = -1;
    std::vector<unsigned char> buffer;
    size_t used = 0;
    uint64_t size = 0;
    int error = 0;
    bool committed = false;
};

} // namespace zorvane
