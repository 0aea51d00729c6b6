// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace rasterblatt {

// What a job prints: a list of entries by position, each with its path and its tick. The
// job reads it afresh at every step, so that ticks and a rebuilt list are seen at once.
class PrintSource {
public:
    virtual ~PrintSource() = default;
    virtual int count() const = 0;
    virtual bool isTicked(int index) const = 0;
    virtual QString path(int index) const = 0;
    virtual int tickedCount() const = 0;
    // The name of the folder the entries come from, as the header shows it.
    virtual QString folderName() const { return {}; }
};

// A fixed list of files, every one ticked: a whole folder, as the command line prints it.
class FileListSource final : public PrintSource {
public:
    explicit FileListSource(QStringList files, QString folderName = {})
        : m_files(std::move(files))
        , m_folderName(std::move(folderName))
    {
    }
    int count() const override { return int(m_files.size()); }
    bool isTicked(int index) const override { return index >= 0 && index < m_files.size(); }
    QString path(int index) const override { return m_files.value(index); }
    int tickedCount() const override { return int(m_files.size()); }
    QString folderName() const override { return m_folderName; }

private:
    QStringList m_files;
    QString m_folderName;
};

} // namespace rasterblatt
