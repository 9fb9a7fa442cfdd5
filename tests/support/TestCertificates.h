#pragma once

#include <QString>

// A certificate authority made for one test and a server certificate it signed for 127.0.0.1
// and localhost, written by the openssl command into a folder of the test's. Browsers trust the
// authority (Firefox through its profile, Chromium by flag); nothing is installed system-wide.
class TestCertificates final
{
public:
    // Writes ca.crt, ca.key, server.crt and server.key into folder; false with error() set
    // when openssl is missing or fails.
    bool make(const QString& folder);

    QString authority() const { return m_folder + QStringLiteral("/ca.crt"); }
    QString certificate() const { return m_folder + QStringLiteral("/server.crt"); }
    QString key() const { return m_folder + QStringLiteral("/server.key"); }
    QString error() const { return m_error; }

private:
    bool openssl(const QStringList& arguments);

    QString m_folder;
    QString m_error;
};
