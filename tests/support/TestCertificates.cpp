#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

bool TestCertificates::openssl(const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("openssl"), arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1: %2").arg(arguments.value(0), QString::fromLocal8Bit(tool.readAll()));
        return false;
    }
    return true;
}

bool TestCertificates::make(const QString& folder)
{
    m_folder = folder;
    if (!QDir().mkpath(folder)) {
        m_error = QStringLiteral("cannot make ") + folder;
        return false;
    }
    const QString extensions = folder + QStringLiteral("/server.ext");
    QFile file(extensions);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write ") + extensions;
        return false;
    }
    file.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
               "basicConstraints=CA:FALSE\n"
               "extendedKeyUsage=serverAuth\n");
    file.close();
    const QString request = folder + QStringLiteral("/server.csr");
    return openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                    folder + QStringLiteral("/ca.key"), QStringLiteral("-out"), authority(), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=Trawlix Test Authority"),
                    QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                    QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}) &&
           openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), key(), QStringLiteral("-out"), request,
                    QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}) &&
           openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                    QStringLiteral("-CA"), authority(), QStringLiteral("-CAkey"), folder + QStringLiteral("/ca.key"),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), certificate(), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-extfile"), extensions});
}
