#include "portchoice.h"

namespace tikvor {
namespace {

// The buttons as the choice sees them, over the view it returns.
class ViewPanel final : public PortPanel {
public:
    explicit ViewPanel(PortView& view) : m_view(view) {}
    PortSelection* selection = nullptr;

    bool isSelected(int n) const override { return m_view.selected == n; }
    bool isEnabled(int n) const override { return m_view.enabled[size_t(n - 1)]; }
    void disable(int n) override { m_view.enabled[size_t(n - 1)] = false; }
    void select(int n) override
    {
        if (m_view.selected == n)
            return;
        m_view.selected = n;
        // As a window does: selecting an enabled button from code runs its click handler now.
        if (isEnabled(n))
            selection->OptionClick();
    }
    void deselectAll() override { m_view.selected = 0; }
    void setPortLabel(const QString& text) override { m_view.label = text; }
    void setCaption(const QString&) override {} // the link names naming.port in the caption
    void showNoPortError() override { m_view.showNoPortError = true; }

private:
    PortView& m_view;
};

template <typename Step> PortView run(PortView view, SerialLines& lines, Step step)
{
    view.showNoPortError = false;
    ViewPanel panel(view);
    PortSelection selection(view.naming, lines, panel);
    panel.selection = &selection;
    step(selection, view);
    for (int n = 1; n <= PortCount; ++n)
        if (!view.enabled[size_t(n - 1)])
            if (std::optional<PortRefusal> why = lines.refusal(n))
                view.refusals[size_t(n - 1)] = std::move(why);
    return view;
}

} // namespace

PortView ScanAtStartUp(SerialLines& lines)
{
    return run(PortView{}, lines, [](PortSelection& s, PortView&) { s.ScanAtStartUp(); });
}

PortView ClickOption(PortView before, int n, SerialLines& lines)
{
    return run(std::move(before), lines, [n](PortSelection& s, PortView& view) {
        // The user's click selected the button before its handler runs.
        if (view.selected == n || !view.enabled[size_t(n - 1)])
            return;
        view.selected = n;
        s.OptionClick();
    });
}

} // namespace tikvor
