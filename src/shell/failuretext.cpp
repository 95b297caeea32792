#include "shell/failuretext.h"

#include "engine/numbertext.h"

namespace orbisk {
namespace {

// A pasted megabyte must not become a megabyte-wide message box.
QString quoted(const std::string &text)
{
    constexpr std::size_t shown = 40;
    if (text.size() <= shown)
        return u'"' + QString::fromStdString(text) + u'"';
    std::size_t cut = shown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // never split a UTF-8 sequence
    return FailureText::tr("\"%1...\" (%2 bytes)")
        .arg(QString::fromStdString(text.substr(0, cut)))
        .arg(text.size());
}

} // namespace

QString FailureText::describe(const Failure &f, const QString &separator)
{
    const bool down = f.direction == Direction::Down;
    QString head;
    switch (f.action) {
    case Failure::Action::RateStep:
        head = down ? tr("Leg %1 cannot be stepped down: %2") : tr("Leg %1 cannot be stepped up: %2");
        head = head.arg(f.leg);
        break;
    case Failure::Action::SpreadStep:
        head = down ? tr("The spread of leg %1 cannot be narrowed: %2")
                    : tr("The spread of leg %1 cannot be widened: %2");
        head = head.arg(f.leg);
        break;
    case Failure::Action::ComputeMeasure:
        head = f.measure == Measure::BuySide ? tr("The buy-side measure cannot be computed: %1")
                                             : tr("The sell-side measure cannot be computed: %1");
        break;
    }

    const int leg = f.field.leg;
    QString subject;
    switch (f.field.kind) {
    case Field::Kind::Bid:
        subject = tr("the bid of leg %1").arg(leg);
        break;
    case Field::Kind::Ask:
        subject = tr("the ask of leg %1").arg(leg);
        break;
    case Field::Kind::Spread:
        subject = tr("the spread of leg %1").arg(leg);
        break;
    case Field::Kind::Measure:
        break; // a measure that fails names the quote that stopped it, or no field at all
    }

    const bool spread = f.field.kind == Field::Kind::Spread;
    QString reason;
    switch (f.problem) {
    case Failure::Problem::NotANumber:
        if (f.text.find_first_not_of(" \t") == std::string::npos)
            reason = tr("%1 is empty.").arg(subject);
        else
            reason = (spread ? tr("%1, %2, is not a whole number of pips.") : tr("%1, %2, is not a number."))
                         .arg(subject, quoted(f.text));
        break;
    case Failure::Problem::TooLarge:
        reason = (spread ? tr("%1, %2, lies outside -32768 to 32767 pips.")
                         : tr("%1, %2, is too large for a quote."))
                     .arg(subject, quoted(f.text));
        break;
    case Failure::Problem::BidNotSteppable: {
        const std::string sep = separator.toStdString();
        reason = tr("%1, %2, would leave the range of %3 to %4 in which a bid can be stepped.")
                     .arg(subject, quoted(f.text), QString::fromStdString(doubleToText(-3.2768, sep)),
                          QString::fromStdString(doubleToText(3.2767, sep)));
        break;
    }
    case Failure::Problem::SpreadAtLimit:
        reason = (down ? tr("it is already %1 pips, the narrowest it can be.")
                       : tr("it is already %1 pips, the widest it can be."))
                     .arg(QString::fromStdString(f.text));
        break;
    case Failure::Problem::ResultTooLarge:
        reason = tr("the quotes give a result beyond the range of single-precision numbers.");
        break;
    }

    QString text = head.arg(reason);
    if (f.action == Failure::Action::ComputeMeasure) {
        text += u' ' + (f.measure == Measure::BuySide
                            ? tr("The new bid and ask of leg %1 stay as written.")
                            : tr("The new bid and ask of leg %1 and the buy-side measure stay as written."))
                           .arg(f.leg);
    }
    return text;
}

} // namespace orbisk
