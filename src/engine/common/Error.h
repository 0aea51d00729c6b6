// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>
#include <QStringList>

namespace rasterblatt {

// What went wrong, as data: its kind, the words it names (a file, a folder, a printer, a number)
// and, where one failure comes from another, that cause. The sentence the user reads is made
// from it in one place, errorText, for the window and the command line alike.
struct Error {
    enum class Kind {
        None,
        // The print job.
        Cancelled,
        PrinterMissing, // the printer's name
        JobRunning,
        OutOfMemory,
        NoCells,
        FontSize, // the size asked for
        EmptyPicture,
        // The PDF file.
        PdfNotWritable, // the file; because of the cause
        PdfIsPicture, // the file
        PictureFileNotWritable, // a page's picture file; because of the cause
        PictureFileIsPicture, // the file
        NameNotUtf8,
        NotAFile,
        NoFolder, // the folder
        FolderNotWritable, // the folder, the system's reason
        FolderChanged,
        DiskFull,
        // The document being drawn.
        DocumentNotWritten, // its folder; because of the cause
        DocumentIncomplete,
        DocumentNotCreated, // its folder, the system's reason
        NoNewPage,
        PaperUnsupported,
        DocumentNotBegun,
        // CUPS.
        JobNotSent, // the destination; because of the cause
        CupsUnreachable, // the scheduler's address
        QueueGone,
        CupsSilent,
        CupsConnectionLost,
        // A picture that cannot be loaded, and why (said after its name, in lower case).
        PictureNotLoaded, // the file's name; because of the cause
        NotARegularFile,
        FileEmpty,
        FileBeyondBudget, // the budget in MB
        PictureBeyondBudget, // width, height
        NotAPicture, // the reader's words
        NoPixels,
        Damaged, // the decoder's words
        DamagedNoPixels,
        DamagedLargerThanSaid,
        DamagedMetadata,
        CutOff,
        TooManyItems, // their number
        NotHeif, // libheif's words
        NotJpeg, // libjpeg's words
        DecodeMemory,
        DecodeTimeout, // the seconds
        TooManyScans, // their number
        TooLarge, // width, height
        NoPreview, // a camera's raw file without a preview to show
        PreviewUnreadable,
        PreviewNotAsSaid,
        // The words of the system or of CUPS, as they are.
        SystemText,
    };

    Kind kind = Kind::None;
    QStringList args;
    std::shared_ptr<const Error> cause;

    Error() = default;
    Error(Kind kind, QStringList args = {})
        : kind(kind)
        , args(std::move(args))
    {
    }
    Error(Kind kind, QStringList args, const Error& cause)
        : kind(kind)
        , args(std::move(args))
        , cause(cause.kind == Kind::None ? nullptr : std::make_shared<const Error>(cause))
    {
    }
    explicit operator bool() const { return kind != Kind::None; }
    // The kind of the failure that started it all: the innermost cause.
    Kind rootKind() const { return cause ? cause->rootKind() : kind; }
};

// The German sentence for the error, with its cause.
QString errorText(const Error& error);

} // namespace rasterblatt
