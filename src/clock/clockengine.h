#pragma once
// The one-second tick without a window: UpdateClock reads the clock once and brings the clock
// face and the display link up to date. It talks to the world only through the small interfaces
// below (a time, a caption, a picture face, a frame sink); it names pictures, and the face finds
// them.

#include "clockstate.h"

#include <QTime>

namespace tikvor {

class TimeSource {
public:
    virtual ~TimeSource() = default;
    // Local time of day; read exactly once per tick.
    virtual QTime currentTime() const = 0;
};

// What the tick changes in a window's caption.
class CaptionFace {
public:
    virtual ~CaptionFace() = default;
    virtual bool isMinimised() const = 0;
    virtual void setCaption(const QString& caption) = 0;
};

// What the tick changes on a clock face drawn with pictures.
class PictureFace {
public:
    virtual ~PictureFace() = default;
    // index 1..7 (Image1..Image7); `name` is relative to the program folder ("data/0.gif"). A
    // picture that cannot be read leaves the previous one.
    virtual void showPicture(int index, const QString& name) = 0;
    virtual void moveMarker(int leftTwips) = 0;
    virtual void showFrame(const QString& labelText) = 0;
};

// Both, as the window has them.
class ClockFace : public CaptionFace, public PictureFace {};

// Where a finished frame goes while a port is open.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void sendFrame(ClockState& state) = 0;
};

// The caption of the minimised window: the time in the system's long time format.
QString timeCaption(QTime time);

// The frame of wall-clock second `second` (since the epoch), built the way its tick builds it:
// the local time at that instant, by the zone's rules as they stand then (a change of summer
// time or of zone shows from its first second), and the dots of blinkSign. Empty when the table
// cannot make it. Safe on any thread.
QString wallSecondFrame(const CharacterTable& table, qint64 second, float blinkSign);

class ClockEngine {
public:
    // Without faces: a front end that shows neither caption nor pictures (see setFaces).
    ClockEngine(ClockState& state, const CharacterTable& table, const TimeSource& time);
    ClockEngine(ClockState& state, const CharacterTable& table, const TimeSource& time,
                ClockFace& face);

    // Either may be null: what is missing is not shown.
    void setFaces(CaptionFace* caption, PictureFace* pictures)
    {
        m_caption = caption;
        m_pictures = pictures;
    }

    // Where frames go; without a sink frames are built and shown but not sent.
    void setFrameSink(FrameSink* sink) { m_sink = sink; }

    // The frame goes to the sink first, then the caption, pictures, marker and frame label.
    void UpdateClock();

    // While the link to the display is lost, the caption of the open window says so.
    void setLinkLost(bool lost) { m_linkLost = lost; }
    // The caption of the open window as the tick sets it; the minimised caption, the time, waits
    // for the next tick.
    void refreshCaption();

private:
    ClockState& m_state;
    const CharacterTable& m_table;
    const TimeSource& m_time;
    CaptionFace* m_caption = nullptr;
    PictureFace* m_pictures = nullptr;
    FrameSink* m_sink = nullptr;
    bool m_linkLost = false;

    QString portCaption() const;
};

// What the caption adds while the link to the display is lost.
inline const QString LinkLostSuffix = QStringLiteral(" (odpojeno)");

} // namespace tikvor
