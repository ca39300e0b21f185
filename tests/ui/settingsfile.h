#pragma once

// Points the settings store at a file of the test's own, so a test never
// reads or changes a user's settings. A child process started by the test
// inherits the parent's file and keeps it (it may end without cleaning up).

#include <QTemporaryDir>

namespace brimo::test {

class TemporarySettingsFile {
public:
    TemporarySettingsFile()
    {
        if (!qEnvironmentVariableIsSet("BRIMO_REGISTRY_FILE"))
            qputenv("BRIMO_REGISTRY_FILE",
                    m_folder.filePath(QStringLiteral("registry")).toLocal8Bit());
    }

private:
    QTemporaryDir m_folder;
};

} // namespace brimo::test
