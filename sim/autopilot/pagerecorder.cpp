#include "pagerecorder.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace brimo::sim {

void PageRecorder::record(const QString &name, QWidget *widget)
{
    if (!m_taken.contains(name))
        save(name, widget);
}

void PageRecorder::save(const QString &name, QWidget *widget)
{
    QDir().mkpath(m_folder);
    const QString path = QDir(m_folder).filePath(name + QStringLiteral(".png"));
    m_taken.insert(name);
    if (widget->grab().save(path) && !m_files.contains(path))
        m_files << path;
}

} // namespace brimo::sim
