#pragma once
// Finding how a newly built display is wired, one character position at a time, and the
// [Znaky] section that drives it.
//
// Contract:
// - step() runs from 1 to 8 while answers are wanted, then is 9. frame() is the 48-character
//   frame to send for the current step: character `step` of every position lit, all else dark.
// - answer() takes what the user saw lit: "a" to "g", "dp", or "nothing" or an empty text for
//   nothing; case does not matter and surrounding blanks are dropped. An unknown answer, a line
//   cut for its length, or a segment already named at an earlier step, is refused (Again) and
//   the same step is asked again. A refusal shows the answer with every character a terminal
//   would not print as such (ESC, NUL, ...) written as an escape: "\x1b".
// - After the eighth answer the result is Done, or Failed when a segment a to g was named at no
//   step, or when a segment is wired to character 8: the clock always writes the blinking dot
//   there, so that segment would blink. The message says which.
// - section() is the complete [Znaky] section for the wiring found (after Done): the ten digits
//   in their usual shapes, the character wired to the dot or to nothing always "0".
// - runWiring is the whole dialogue of `tikvor-display --wire` around a session: each step's
//   frame goes to `send` (which returns once the display shows it), the question and every
//   refusal to `say`, and `readAnswer` gives one line (none when the input has ended). The result
//   is the section, or why there is none.

#include "display/virtualdisplay.h"
#include "inputline.h"

#include <QString>

#include <functional>
#include <optional>

namespace tikvor {

class WiringSession {
public:
    enum class Outcome { Next, Again, Done, Failed };
    struct Reply {
        Outcome outcome = Outcome::Next;
        QString message; // why an answer was refused, or why the wiring cannot be used
    };

    int step() const { return m_step; }
    QString frame() const;
    // The question for the current step, for a prompt.
    QString question() const;
    Reply answer(const InputLine& line);
    const Wiring& wiring() const { return m_wiring; }
    QString section() const;

private:
    Reply finish() const;

    int m_step = 1;
    Wiring m_wiring{-1, -1, -1, -1, -1, -1, -1, -1};
};

struct WiringResult {
    bool found = false;
    QString text; // the [Znaky] section when found, otherwise the reason
};

WiringResult runWiring(const std::function<void(const QString& frame)>& send,
                       const std::function<std::optional<InputLine>()>& readAnswer,
                       const std::function<void(const QString& text)>& say);

} // namespace tikvor
