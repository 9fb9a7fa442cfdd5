#pragma once

#include <QString>
#include <QStringList>

// The request texts exchanged with the movies: `<invoke name="NAME" returntype="xml">
// <arguments>ARGS</arguments></invoke>`. Values go in as they are, without XML escaping,
// because the receiving side searches the text by substring and never parses entities.
namespace MovieRequest {

struct Argument
{
    enum class Kind
    {
        String,
        Number,
    };
    Kind kind = Kind::String;
    QString value;
};

inline Argument string(const QString& value)
{
    return {Argument::Kind::String, value};
}

inline Argument number(const QString& value)
{
    return {Argument::Kind::Number, value};
}

// Builds a complete request.
QString build(const QString& name, const QList<Argument>& arguments = {});

// The calls the program sends to the play control bar, text for text.
QString playPosition(const QString& current, const QString& total, int percent);
QString playButton(const QString& state); // "one", "two" or "three"
QString playEndAnimation();
QString volume(int volumePercent);       // "<n>%"
QString volumeText(const QString& text); // "Вкл." / "Выкл."
QString conversionPercent(const QString& percent);
QString monitoringEnabled();
QString monitoringDisabled();

// What a movie reads back from a request: the name attribute and the argument values.
QString name(const QString& request);
QStringList arguments(const QString& request);

// Whole seconds as "%d:%02d:%02d" with the hours taken modulo 24.
QString clockText(qint64 seconds);

} // namespace MovieRequest
