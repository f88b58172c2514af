#pragma once
// The one renderer of what an operation did (an ExchangeRecord, a
// WriteOutcome): the transfer window's outcome line, the command line's line,
// the history entry's outcome and the site book's exchange text. Each ending
// is put into words here only; differences are counted and listed by
// DifferenceTexts.

#include "CheckedWrite.h"
#include "DifferenceTexts.h"
#include "Exchange.h"

#include <QString>

// The two ways an outcome is said: the transfer window's line (" Write: 15 of
// 15 blocks acknowledged.") and a command's line after its port's name
// ("write 15 of 15 blocks acknowledged"), which also names the backup file and
// the port's error.
enum class OutcomeForm { Window, Line };

// Why a sequence stopped early: "no answer", "the module answered for block 4",
// "no acknowledgement", "the port is closed", "stopped"; empty when it did not stop.
QString stopReason(const TransferResult &result);
// " (2 repeated)" when blocks had to be asked for or sent again, " (1 checked
// by reading back)" for written blocks found stored so, both joined by a
// comma; else empty.
QString repeatedText(const TransferResult &result);

// A read or a compare: " Read: 15 of 15 blocks.", " Compare stopped at block
// 3 of 15: no answer.", " Compare: 2 fields differ.", ... Blocks count from 1.
// Without a connection the window's line is " Read: nothing was sent: no
// serial connection." (the command line's is empty: it says so itself).
// Empty for a write's stages, which the write's outcome says.
QString outcomeText(const ExchangeRecord &record, OutcomeForm form = OutcomeForm::Window);
// The exchange's outcome as the site book keeps it: "complete", "stopped at
// block 4: no answer", "2 fields differ (1 stored differently)", "verified",
// "not kept: REASON", "complete, 3 of 15 blocks changed", ...
QString siteExchangeText(const ExchangeRecord &record);
// How a write with its optional backup and verify ended, with the note of a
// history entry that could not be kept. The window adds that a stopped write
// may have left the module half-written, as the history entry does, and
// names the backup file as the line does.
QString outcomeText(const WriteOutcome &write, OutcomeForm form = OutcomeForm::Window);
// A write that stopped after the module acknowledged a block: the window
// shows its line in red.
bool mayBeHalfWritten(const WriteOutcome &write);
// The write's ending as its history entry records it: "Verify: 2 fields differ."
QString entryOutcomeText(const WriteOutcome &write);
// After a complete read into a site in work: " 7 fields differ from the
// site's parameter set." when the module's values are not the site's set;
// else empty.
QString siteDifferenceText(const ExchangeRecord &read, const std::optional<ImageBytes> &siteSet);
// After a compare that found the module holding the last exchanged data:
// " The parameter set in the tool was changed since: not in the module."
// when `image` no longer is that data; else empty.
QString changedSinceText(const ExchangeRecord &compare, std::span<const std::uint8_t> image);
// " Read from file: NAME." / " Saved to file: NAME."
QString fileOutcomeText(bool loaded, const QString &name);
