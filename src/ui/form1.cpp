#include "form1.h"

#include "desktop.h"
#include "startup/files.h"
#include "taskbar.h"
#include "version.h"
#include "virtualdisplaywindow.h"
#include "windowgone.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QRadioButton>

namespace tikvor {
namespace {

const QColor Background(64, 0, 0);
const QColor Red(255, 0, 0);
const QColor DarkRed(192, 0, 0);
const QColor Green(0, 255, 0);
const QColor White(255, 255, 255);
const QColor Grey(128, 128, 128);
const QColor LightGrey(192, 192, 192);

QFont font(const QStringList& families, qreal points, bool bold)
{
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(QFont::SansSerif); // stands in where the named family is missing
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// The layout was measured with these faces; where they are missing, a face of the same metrics
// comes first (Liberation Sans is drawn to Arial's widths), then the platform's sans-serif.
const QStringList SansSerif = {QStringLiteral("MS Sans Serif"),
                               QStringLiteral("Microsoft Sans Serif"),
                               QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
const QStringList Arial = {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")};

QFont msSansSerifBold()
{
    return font(SansSerif, 9.75, true);
}

QFont arialBold()
{
    return font(Arial, 11.25, true);
}

QFont windowFont()
{
    return font(SansSerif, 8, false);
}

// The font as given where the text fits in `width` pixels. Otherwise the runs of blanks that
// space a text out are narrowed first, then the face is made smaller, until it fits. A label
// that wraps breaks its text at the blanks, so there each word has to fit on its own.
QFont fitted(QFont f, const QString& text, int width, bool wraps = false)
{
    const auto widest = [&] {
        const QFontMetrics metrics(f);
        if (!wraps)
            return metrics.horizontalAdvance(text);
        int most = 0;
        for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
            most = std::max(most, metrics.horizontalAdvance(word));
        return most;
    };
    const auto fits = [&] { return widest() + 2 <= width; };
    const qsizetype blanks = text.count(u' ');
    if (blanks >= 8 && !wraps) {
        const int space = QFontMetrics(f).horizontalAdvance(u' ');
        for (int less = 1; less < space && !fits(); ++less)
            f.setWordSpacing(-less);
    }
    while (!fits() && f.pointSizeF() > 6)
        f.setPointSizeF(f.pointSizeF() - 0.25);
    return f;
}

LinkOptions linkOptions(const Form1Options& options)
{
    LinkOptions link;
    link.programFolder = options.programFolder;
    link.seams.lines = options.lines;
    link.seams.time = options.time;
    link.seams.lineClock = options.lineClock;
    return link;
}

} // namespace

Form1::Form1(Form1Options options, QWidget* parent)
    : QWidget(parent), m_options(std::move(options)),
      m_ownDesktop(m_options.desktop ? nullptr : std::make_unique<SystemDesktop>()),
      m_desktop(m_options.desktop ? m_options.desktop : m_ownDesktop.get()),
      m_link(linkOptions(m_options))
{
    m_link.setFaces(this, this);
    connect(&m_link, &DisplayLink::portChosen, this, &Form1::showChoice);
    // However the end came, the window goes at once; the program, once the line is at rest.
    connect(&m_link, &DisplayLink::stopping, this, &QWidget::hide);
    connect(&m_link, &DisplayLink::portInUse, this, &Form1::showVirtualDisplay);
    // Before the line thread lets go of the display it draws.
    connect(&m_link, &DisplayLink::stopping, this, [this] { m_virtualWindow.reset(); });
    connect(&m_link, &DisplayLink::stopped, this,
            [](int status) { QCoreApplication::exit(status); });
    // A window destroyed from outside (xdotool windowclose) gets no close event.
    onWindowDestroyed(this, [this] { m_link.stop(); });
    // The same ordinary window in both programs; Tikvor_0 only leaves the taskbar out.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    if (!m_options.showInTaskbar)
        keepOffTaskbar(this);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tikvor - COM0"));
    setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.gif")));
    setFont(windowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Background);
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(FoldedSize);

    buildClockFace();
    buildOptionsPanel();
}

Form1::~Form1() = default;

ClickLabel* Form1::addLabel(const char* name, const QString& text, QRect twips, QColor color,
                            const QFont& f, int rightLimit)
{
    auto* label = new ClickLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
    label->setFont(fitted(f, text, rightLimit - label->x()));
    // A stand-in face can be wider than the one the layout was measured with: rather than cut a
    // one-line text, the label grows to the right, as far as its limit.
    const int needed = QFontMetrics(label->font()).horizontalAdvance(text) + 2;
    if (needed > label->width())
        label->resize(std::min(needed, rightLimit - label->x()), label->height());
    return label;
}

void Form1::buildClockFace()
{
    const struct {
        int left, top;
        const char* picture;
    } pictures[7] = {{120, 120, "image_digit"},  {840, 120, "image_digit"},
                     {1680, 120, "image_digit"}, {2400, 120, "image_digit"},
                     {3120, 600, "image_small"}, {3480, 600, "image_small"},
                     {1515, 405, "image_colon"}};
    for (int i = 0; i < 7; ++i) {
        auto* image = new PictureBox(this);
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        image->loadPicture(QStringLiteral(":/pictures/%1.gif").arg(pictures[i].picture));
        image->setGeometry(
            QRect(QPoint(twipsToPixels(pictures[i].left), twipsToPixels(pictures[i].top)),
                  image->pixmap().size()));
        m_images[static_cast<size_t>(i)] = image;
    }
    auto* image8 = new PictureBox(this);
    image8->setObjectName(QStringLiteral("Image8"));
    image8->loadPicture(QStringLiteral(":/pictures/image_button.gif"));
    image8->setGeometry(twipsRect(2280, 1320, 1560, 345));
    m_images[7] = image8;
    connect(image8, &ClickLabel::clicked, this, &Form1::Image8_Click);

    m_label2 =
        addLabel("Label2", QStringLiteral("."), QRect(3840, 360, 45, 195), Red, windowFont());
    m_label2->hide();

    (new LineControl({120, 1200}, {3840, 1200}, Red, this))->setObjectName("Line1");
    m_shape1 = new ShapeControl(ShapeControl::Kind::Circle, Red, DarkRed, 1, this);
    m_shape1->setObjectName(QStringLiteral("Shape1"));
    m_shape1->setGeometry(twipsRect(120, 1140, 135, 135));

    auto* label11 = addLabel("Label11", QString::fromUtf8(version::CompanyName),
                             QRect(120, 1380, 2025, 240), Red, msSansSerifBold());
    label11->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label11->setCursor(Qt::UpArrowCursor);
    connect(label11, &ClickLabel::clicked, this, &Form1::Label11_Click);
    (new LineControl({3840, 1800}, {120, 1800}, Red, this))->setObjectName("Line2");
    image8->raise();
}

void Form1::buildOptionsPanel()
{
    auto* shape3 = new ShapeControl(ShapeControl::Kind::Rectangle, DarkRed, {}, 3, this);
    shape3->setObjectName(QStringLiteral("Shape3"));
    shape3->setGeometry(twipsRect(120, 1920, 1815, 375));
    // Inside the frames, within their 3-pixel borders.
    const auto innerRight = [](const QWidget* frame) { return frame->geometry().right() - 2; };
    auto* label9 = addLabel("Label9", QString::fromUtf8("Nastavení hodin"),
                            QRect(170, 1960, 1725, 270), Red, arialBold(), innerRight(shape3));
    label9->setCursor(Qt::CrossCursor);
    connect(label9, &ClickLabel::clicked, this, &Form1::Label9_Click);
    auto* shape2 = new ShapeControl(ShapeControl::Kind::Rectangle, DarkRed, {}, 3, this);
    shape2->setObjectName(QStringLiteral("Shape2"));
    shape2->setGeometry(twipsRect(2040, 1920, 1815, 375));
    auto* label10 = addLabel("Label10", QString::fromUtf8("Datový soubor"),
                             QRect(2180, 1960, 1545, 270), Red, arialBold(), innerRight(shape2));
    label10->setCursor(Qt::CrossCursor);
    connect(label10, &ClickLabel::clicked, this, &Form1::Label10_Click);

    for (int i = 0; i < 5; ++i) {
        auto* option = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), this);
        option->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        option->setGeometry(twipsRect(120, 2400 + 240 * i, 855, 195));
        option->setAutoFillBackground(true);
        QPalette pal = option->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            pal.setColor(group, QPalette::Window, Background);
            pal.setColor(group, QPalette::Button, Background);
        }
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(group, QPalette::WindowText, White);
            pal.setColor(group, QPalette::ButtonText, White);
        }
        // A port that failed must look out of reach: grey text, and a grey circle and dot.
        pal.setColor(QPalette::Disabled, QPalette::WindowText, Grey);
        pal.setColor(QPalette::Disabled, QPalette::ButtonText, Grey);
        pal.setColor(QPalette::Disabled, QPalette::Text, Grey);
        pal.setColor(QPalette::Disabled, QPalette::Base, LightGrey);
        option->setPalette(pal);
        m_options5[static_cast<size_t>(i)] = option;
    }
    m_options5[0]->setChecked(true);
    using Handler = void (Form1::*)();
    const Handler handlers[5] = {&Form1::Option1_Click, &Form1::Option2_Click,
                                 &Form1::Option3_Click, &Form1::Option4_Click,
                                 &Form1::Option5_Click};
    for (int i = 0; i < 5; ++i) {
        // A button the user selects runs its handler; the outcome of a choice, shown from code,
        // runs none: the choice already ran the handlers it selected.
        connect(m_options5[static_cast<size_t>(i)], &QRadioButton::toggled, this,
                [this, handler = handlers[i]](bool on) {
                    if (on && !m_selectingFromCode)
                        (this->*handler)();
                });
        // A click on the port already in use selects nothing new: where that port is the
        // virtual display, it brings back the display's window the user closed.
        connect(m_options5[static_cast<size_t>(i)], &QRadioButton::clicked, this,
                &Form1::bringBackVirtualDisplay);
    }

    (new LineControl({1080, 2400}, {1080, 3720}, DarkRed, this))->setObjectName("Line3");
    m_label1 =
        addLabel("Label1", QStringLiteral("000000010000000100000001 000000010000000100000001"),
                 QRect(1200, 2520, 2655, 375), DarkRed, windowFont());
    m_label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // The frame shows as its two halves, one above the other.
    m_label1->setWordWrap(true);
    m_label1->setFont(fitted(windowFont(), m_label1->text(), m_label1->width(), true));
    m_label3 = addLabel("Label3", QStringLiteral("COM1"), QRect(1200, 3240, 2655, 240), Red,
                        msSansSerifBold());
    m_label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    (new LineControl({3840, 3720}, {120, 3720}, DarkRed, this))->setObjectName("Line4");

    addLabel("Label4", QStringLiteral("Tikvor v1.0."), QRect(120, 3840, 1290, 240), Green,
             msSansSerifBold());
    addLabel("Label5", QString::fromUtf8(version::LegalCopyright), QRect(240, 4200, 2340, 195),
             Green, windowFont());
    addLabel("Label6", QString::fromUtf8(version::Author), QRect(240, 4440, 3300, 195), Green,
             windowFont());
    auto* label7 = addLabel("Label7", QString::fromUtf8(version::WebAddress),
                            QRect(240, 4800, 2070, 240), Green, msSansSerifBold());
    label7->setCursor(Qt::UpArrowCursor);
    connect(label7, &ClickLabel::clicked, this, &Form1::Label7_Click);
    addLabel("Label8", QStringLiteral("v1.0.") + QString(60, u' ') + QStringLiteral("Id.:63210"),
             QRect(105, 5160, 3765, 195), White, windowFont());
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_link.stop();
}

void Form1::Timer1_Timer()
{
    m_link.tick();
}

bool Form1::isMinimised() const
{
    return isMinimized();
}

void Form1::setCaption(const QString& caption)
{
    setWindowTitle(caption);
}

void Form1::showPicture(int index, const QString& name)
{
    m_images[static_cast<size_t>(index - 1)]->loadPicture(joinPath(m_options.programFolder, name));
}

void Form1::moveMarker(int leftTwips)
{
    m_shape1->move(twipsToPixels(leftTwips), m_shape1->y());
}

void Form1::showFrame(const QString& labelText)
{
    m_label1->setText(labelText);
}

} // namespace tikvor
