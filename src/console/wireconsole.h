#pragma once
// tikvor-display --wire: finding a new display's wiring over the display link, and the [Znaky]
// section for it.
//
// Contract:
// - The link takes its port as tikvor-display does (LinkOptions::onlyPort, or the first of
//   COM1 to COM5 that opens) and sends no time (LinkOptions::sendsTime). Once the port is found,
//   the dialogue of runWiring runs on a thread of its own: each step's frame is clocked out whole
//   on the line thread before its question goes to the prompt channel, and `answers` is called on
//   that thread for each answer (it may block).
// - After the eighth answer the section goes to the output channel, line by line, and the link
//   stops with status 0. When there is no section (a segment no character lit, the answers
//   ended, a frame that did not reach the port whole), the reason goes to the prompt channel
//   and the link stops with status 1.
// - The section is the product, and tikvor-display's output channel is standard output: once
//   the section is on it, the link stops with outputStatus(stdout): 1 when standard output ended
//   before taking it (a full disk, which the writer says on standard error, or its reader gone).
// - No port: "CHYBA 02" on the prompt channel; with onlyPort the link stops with status 1,
//   otherwise the ports are tried again every second, as tikvor-display does.
// - A stop from outside (link.stop()) ends the dialogue: no further frame or question, and a
//   thread still blocked in `answers` is left behind without touching this object again.
// - Both channels are called on the thread of the event loop.

#include "displayconsole.h"
#include "inputline.h"

#include <memory>
#include <optional>
#include <thread>

namespace tikvor {

class WireConsole final : public QObject {
    Q_OBJECT
public:
    using AnswerSource = std::function<std::optional<InputLine>()>;

    // `options.sendsTime` is turned off here.
    WireConsole(LinkOptions options, AnswerSource answers, LineOut prompt, LineOut output,
                QObject* parent = nullptr);
    ~WireConsole() override;

    DisplayLink& link() { return m_link; }
    void start();

private:
    struct Dialogue;

    void begin();
    void finished(bool found, const QString& text);

    DisplayLink m_link;
    AnswerSource m_answers;
    LineOut m_prompt;
    LineOut m_output;
    bool m_onlyPort = false;
    std::shared_ptr<Dialogue> m_dialogue;
    std::thread m_thread;
};

} // namespace tikvor
