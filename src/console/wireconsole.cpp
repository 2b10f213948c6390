#include "wireconsole.h"

#include "consoletext.h"
#include "wiring.h"

#include <condition_variable>
#include <mutex>

namespace tikvor {

namespace {

LinkOptions ownFrames(LinkOptions options)
{
    options.sendsTime = false;
    return options;
}

} // namespace

// What the dialogue thread and the event loop share. The thread may outlive the console (it can
// be blocked in a read of standard input at the end), so it owns a share of this, never of the
// console.
struct WireConsole::Dialogue {
    std::mutex mutex;
    std::condition_variable changed;
    WireConsole* owner = nullptr; // null once the console is gone
    bool ended = false;           // the link is stopping: no frame, no question, no answer
    bool frameShown = false;
    bool threadDone = false;

    // Runs `call` on the event loop's thread while the dialogue is on.
    void post(std::function<void(WireConsole&)> call)
    {
        const std::lock_guard lock(mutex);
        if (owner && !ended)
            QMetaObject::invokeMethod(
                owner, [o = owner, call = std::move(call)] { call(*o); }, Qt::QueuedConnection);
    }
    void end()
    {
        {
            const std::lock_guard lock(mutex);
            ended = true;
        }
        changed.notify_all();
    }
};

WireConsole::WireConsole(LinkOptions options, AnswerSource answers, LineOut prompt, LineOut output,
                         QObject* parent)
    : QObject(parent), m_link(ownFrames(options)), m_answers(std::move(answers)),
      m_prompt(std::move(prompt)), m_output(std::move(output)),
      m_onlyPort(options.onlyPort.has_value()), m_dialogue(std::make_shared<Dialogue>())
{
    m_dialogue->owner = this;
    sayLinkReports(m_link, m_prompt);
    connect(&m_link, &DisplayLink::noPort, this, [this] {
        if (m_onlyPort)
            m_link.stop(1);
        else
            m_prompt(QStringLiteral("Tikvor: trying the ports again every second"));
    });
    connect(&m_link, &DisplayLink::portInUse, this, [this](int n) {
        if (n != 0)
            begin();
    });
    connect(&m_link, &DisplayLink::frameSent, this, [this](bool whole) {
        if (!whole) {
            m_prompt(QStringLiteral("Tikvor: the frame did not reach the port whole: the port "
                                    "is lost (odpojeno)"));
            m_link.stop(1);
            return;
        }
        {
            const std::lock_guard lock(m_dialogue->mutex);
            m_dialogue->frameShown = true;
        }
        m_dialogue->changed.notify_all();
    });
    connect(&m_link, &DisplayLink::stopping, this, [this] { m_dialogue->end(); });
}

WireConsole::~WireConsole()
{
    {
        const std::lock_guard lock(m_dialogue->mutex);
        m_dialogue->owner = nullptr;
    }
    m_dialogue->end();
    if (!m_thread.joinable())
        return;
    bool done = false;
    {
        const std::lock_guard lock(m_dialogue->mutex);
        done = m_dialogue->threadDone;
    }
    // A thread still waiting for an answer waits in a read nobody can end; it touches only its
    // share of the dialogue when the read returns.
    if (done)
        m_thread.join();
    else
        m_thread.detach();
}

void WireConsole::start()
{
    startLink(m_link, m_prompt);
}

void WireConsole::begin()
{
    if (m_thread.joinable() || m_link.isStopping())
        return;
    m_thread = std::thread([d = m_dialogue, answers = m_answers] {
        const auto send = [&d](const QString& frame) {
            std::unique_lock lock(d->mutex);
            if (d->ended || !d->owner)
                return;
            d->frameShown = false;
            QMetaObject::invokeMethod(
                d->owner, [o = d->owner, frame] { o->m_link.sendFrameWhole(frame); },
                Qt::QueuedConnection);
            d->changed.wait(lock, [&d] { return d->frameShown || d->ended; });
        };
        const auto answer = [&d, &answers]() -> std::optional<InputLine> {
            {
                const std::lock_guard lock(d->mutex);
                if (d->ended)
                    return std::nullopt;
            }
            return answers();
        };
        const auto say = [&d](const QString& text) {
            d->post([text](WireConsole& c) { c.m_prompt(text); });
        };
        const WiringResult result = runWiring(send, answer, say);
        d->post([result](WireConsole& c) { c.finished(result.found, result.text); });
        const std::lock_guard lock(d->mutex);
        d->threadDone = true;
    });
}

void WireConsole::finished(bool found, const QString& text)
{
    if (m_link.isStopping())
        return;
    if (!found) {
        m_prompt(text);
        m_link.stop(1);
        return;
    }
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
        m_output(line);
    // The event loop has nothing left to do but stop, so it may wait here (a second at most)
    // to learn whether the section reached its file.
    m_link.stop(outputStatus(stdout));
}

} // namespace tikvor
