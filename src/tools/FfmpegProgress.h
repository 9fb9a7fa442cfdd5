#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Reads what ffmpeg prints with "-progress pipe:1" merged with its log: "key=value" lines, one
// block per report ending in "progress=continue" or "progress=end". Every other line is a log
// line; the last one is kept as the error to report. Input arrives in chunks that may split a
// line anywhere; a line is bounded, and so is everything kept.
class FfmpegProgress final
{
public:
    static constexpr qsizetype MaxLineLength = 4096;
    static constexpr qsizetype MaxErrorLength = 300;

    // The options that make ffmpeg print its reports on standard output and, besides them,
    // only its errors: what a job puts in front of its own.
    static QStringList arguments();

    void feed(QStringView chunk);
    // What is left without a line end, read as a last line (at the end of the output).
    void finish();

    // The output position in microseconds (out_time_us, or out_time when only that came);
    // -1 before the first report.
    qint64 positionUs() const { return m_positionUs; }
    // Whole percent of totalSeconds; -1 without a report, without a total or when the
    // position lies beyond the total (which changes nothing on the display).
    int percent(int totalSeconds) const;
    bool ended() const { return m_ended; }
    // How many report blocks ended so far.
    int reports() const { return m_reports; }
    // The loudest sample of the last measured stretch in dBFS (levelArguments()); -1000 for
    // silence; levels() counts the measurements so far.
    double peakDb() const { return m_peakDb; }
    int levels() const { return m_levels; }

    // The audio filter that measures the peak level of every tenth of a second (4800 samples)
    // and prints it among the reports on standard output.
    static QString levelFilter();
    QString lastLogLine() const { return m_lastLog; }

    // "HH:MM:SS.micro" as ffmpeg prints out_time; -1 when the text is not one.
    static qint64 parseClock(QStringView text);

private:
    void line(QStringView text);

    QString m_partial;
    bool m_overlong = false;
    qint64 m_positionUs = -1;
    double m_peakDb = -1000;
    int m_levels = 0;
    bool m_ended = false;
    int m_reports = 0;
    QString m_lastLog;
};
