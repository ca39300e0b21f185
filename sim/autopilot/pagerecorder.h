#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

class QWidget;

namespace brimo::sim {

// Saves a picture of each page of the window once, under stable names.
class PageRecorder {
public:
    explicit PageRecorder(QString folder) : m_folder(std::move(folder)) {}

    // Saves `widget` as `name`.png unless a picture of that name was taken.
    void record(const QString &name, QWidget *widget);
    // Saves `widget` as `name`.png, replacing an earlier picture.
    void save(const QString &name, QWidget *widget);
    const QStringList &files() const { return m_files; }
    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
    QSet<QString> m_taken;
    QStringList m_files;
};

} // namespace brimo::sim
