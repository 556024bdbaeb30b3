// Dialogs as GTK 3 windows on its X11 backend: framed sections in columns,
// a caption before each slider, combo box or list, the buttons in a row at
// the bottom. Every control's widget carries its name. A panel is a native
// X window that our GL windows use as their parent.
#include "platform/dialog_view.h"
#include "platform/linux/application_gtk.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

namespace platform {
namespace {

GdkRGBA ToRgba(uint32_t bgr) {
    return GdkRGBA{(bgr & 0xFF) / 255.0, ((bgr >> 8) & 0xFF) / 255.0, ((bgr >> 16) & 0xFF) / 255.0, 1.0};
}

uint32_t FromRgba(const GdkRGBA& c) {
    auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
    return byte(c.red) | (byte(c.green) << 8) | (byte(c.blue) << 16);
}

enum ListColumn { kChecked, kText };

// "&x" marks an access key in our captions, "_x" in GTK's.
std::string Mnemonic(const std::string& caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '_') {
            out += "__";
        } else if (caption[i] == '&' && i + 1 < caption.size()) {
            out += caption[i + 1] == '&' ? '&' : '_';
            if (caption[i + 1] == '&') ++i;
        } else {
            out += caption[i];
        }
    }
    return out;
}

class GtkDialogView;

// A control and the widgets that make it up.
struct Control {
    ControlDesc Desc;
    GtkWidget* Widget = nullptr;   // what the value lives in; carries the name
    GtkWidget* Caption = nullptr;  // the label before it, if any
    GtkWidget* Outer = nullptr;    // what is placed in the grid (a list's scroller)
    GtkListStore* Store = nullptr;  // check list
    uint32_t Color = 0;            // colour swatch
    GtkDialogView* View = nullptr;
};

class GtkDialogView final : public IDialogView {
public:
    explicit GtkDialogView(const DialogDesc& desc) : Name(desc.Name) {
        Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_set_name(Window, desc.Name.c_str());
        gtk_window_set_title(GTK_WINDOW(Window), desc.Caption.c_str());
        gtk_window_set_resizable(GTK_WINDOW(Window), TRUE);
        g_signal_connect(Window, "delete-event", G_CALLBACK(&GtkDialogView::OnDelete), this);
        g_signal_connect(Window, "key-press-event", G_CALLBACK(&GtkDialogView::OnKey), this);

        GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
        gtk_container_set_border_width(GTK_CONTAINER(outer), 12);
        gtk_container_add(GTK_CONTAINER(Window), outer);
        Content = outer;

        GtkWidget* columns = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
        gtk_box_pack_start(GTK_BOX(outer), columns, TRUE, TRUE, 0);
        std::map<int32_t, GtkWidget*> column;
        int32_t last = 0;
        for (const SectionDesc& s : desc.Sections) last = std::max(last, s.Column);
        for (int32_t c = 0; c <= last; ++c) {
            column[c] = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
            // The last column (the preview, in our dialogs) takes the spare room.
            gtk_box_pack_start(GTK_BOX(columns), column[c], c == last, TRUE, 0);
        }
        for (const SectionDesc& s : desc.Sections) {
            GtkWidget* grid = gtk_grid_new();
            gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
            gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
            GtkWidget* holder = grid;
            if (!s.Title.empty()) {
                holder = gtk_frame_new(s.Title.c_str());
                gtk_container_set_border_width(GTK_CONTAINER(grid), 8);
                gtk_container_add(GTK_CONTAINER(holder), grid);
            }
            bool grows = false;
            int row = -1;
            for (const ControlDesc& c : s.Controls) {
                if (!c.SameRow || row < 0) ++row;
                Control& control = Add(c);
                if (c.Kind == ControlKind::Panel || c.Kind == ControlKind::CheckList) grows = true;
                if (c.SameRow) {
                    gtk_grid_attach(GTK_GRID(grid), control.Outer, 2, row, 1, 1);
                } else if (control.Caption) {
                    gtk_grid_attach(GTK_GRID(grid), control.Caption, 0, row, 1, 1);
                    gtk_grid_attach(GTK_GRID(grid), control.Outer, 1, row, 1, 1);
                } else {
                    gtk_grid_attach(GTK_GRID(grid), control.Outer, 0, row, 2, 1);
                }
            }
            gtk_box_pack_start(GTK_BOX(column[s.Column]), holder, grows, TRUE, 0);
        }

        GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
        gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
        gtk_box_set_spacing(GTK_BOX(buttons), 6);
        gtk_box_pack_end(GTK_BOX(outer), buttons, FALSE, FALSE, 0);
        for (const ControlDesc& c : desc.Buttons) {
            Control& control = Add(c);
            gtk_container_add(GTK_CONTAINER(buttons), control.Outer);
            // Help and About sit apart, at the start, as desktop dialogs have them.
            if (c.ModalResult == mrNone) gtk_button_box_set_child_secondary(GTK_BUTTON_BOX(buttons), control.Outer, TRUE);
            if (c.ModalResult == mrOk) {
                gtk_widget_set_can_default(control.Widget, TRUE);
                gtk_window_set_default(GTK_WINDOW(Window), control.Widget);
            }
        }
        gtk_widget_show_all(outer);
        for (auto& [name, control] : Controls)
            if (!control.Desc.Visible) SetVisible(name, false);
    }

    ~GtkDialogView() override {
        if (IsMain) SetGtkMainForm(nullptr, nullptr);
        if (ModalLoop) g_main_loop_quit(ModalLoop);
        GdkDisplay* display = gtk_widget_get_display(Window);
        gtk_widget_destroy(Window);
        // Gone from the server now, not at GTK's next turn (there may be none).
        gdk_display_flush(display);
    }

    void MakeMainForm() {
        IsMain = true;
        SetGtkMainForm(this, GTK_WINDOW(Window));
    }

    void SetEvents(const DialogEvents& events) override { Events = events; }
    void SetCaption(const std::string& caption) override {
        gtk_window_set_title(GTK_WINDOW(Window), caption.c_str());
    }
    std::string Caption() const override {
        const char* title = gtk_window_get_title(GTK_WINDOW(Window));
        return title ? title : "";
    }
    void SetFormEnabled(bool enabled) override { gtk_widget_set_sensitive(Content, enabled); }
    bool FormEnabled() const override { return gtk_widget_get_sensitive(Content); }

    void SetItems(const std::string& name, const std::vector<std::string>& items) override {
        Control& c = At(name);
        Quiet quiet(*this);
        if (c.Desc.Kind == ControlKind::ComboBox) {
            gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(c.Widget));
            for (const std::string& item : items) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(c.Widget), item.c_str());
        } else if (c.Store) {
            gtk_list_store_clear(c.Store);
            for (const std::string& item : items)
                gtk_list_store_insert_with_values(c.Store, nullptr, -1, kChecked, FALSE, kText, item.c_str(), -1);
        } else {
            throw std::out_of_range(name + " has no items");
        }
    }
    std::vector<std::string> Items(const std::string& name) const override {
        const Control& c = At(name);
        std::vector<std::string> items;
        GtkTreeModel* model = c.Store ? GTK_TREE_MODEL(c.Store)
                              : c.Desc.Kind == ControlKind::ComboBox ? gtk_combo_box_get_model(GTK_COMBO_BOX(c.Widget))
                                                                     : nullptr;
        if (!model) return items;
        const int column = c.Store ? kText : 0;
        GtkTreeIter it;
        for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok; ok = gtk_tree_model_iter_next(model, &it)) {
            gchar* text = nullptr;
            gtk_tree_model_get(model, &it, column, &text, -1);
            items.emplace_back(text ? text : "");
            g_free(text);
        }
        return items;
    }
    void SetItemIndex(const std::string& name, int32_t index) override {
        Control& c = At(name);
        Quiet quiet(*this);
        if (c.Desc.Kind == ControlKind::ComboBox) {
            gtk_combo_box_set_active(GTK_COMBO_BOX(c.Widget), index);
        } else if (c.Store) {
            GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(c.Widget));
            GtkTreeIter it;
            if (index >= 0 && gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(c.Store), &it, nullptr, index))
                gtk_tree_selection_select_iter(selection, &it);
            else
                gtk_tree_selection_unselect_all(selection);
        }
    }
    int32_t ItemIndex(const std::string& name) const override {
        const Control& c = At(name);
        if (c.Desc.Kind == ControlKind::ComboBox) return gtk_combo_box_get_active(GTK_COMBO_BOX(c.Widget));
        if (!c.Store) return -1;
        GtkTreeIter it;
        GtkTreeModel* model = nullptr;
        if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(c.Widget)), &model, &it))
            return -1;
        GtkTreePath* path = gtk_tree_model_get_path(model, &it);
        const int32_t index = gtk_tree_path_get_indices(path)[0];
        gtk_tree_path_free(path);
        return index;
    }
    void SetRange(const std::string& name, int32_t min, int32_t max, int32_t page) override {
        Control& c = At(name);
        Quiet quiet(*this);
        gtk_range_set_range(GTK_RANGE(c.Widget), min, std::max(min + 1, max));
        gtk_range_set_increments(GTK_RANGE(c.Widget), 1, page);
    }
    void SetPosition(const std::string& name, int32_t position) override {
        Quiet quiet(*this);
        gtk_range_set_value(GTK_RANGE(At(name).Widget), position);
    }
    int32_t Position(const std::string& name) const override {
        return static_cast<int32_t>(std::lround(gtk_range_get_value(GTK_RANGE(At(name).Widget))));
    }
    void SetChecked(const std::string& name, bool checked) override {
        Quiet quiet(*this);
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(At(name).Widget), checked);
    }
    bool Checked(const std::string& name) const override {
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(At(name).Widget));
    }
    void SetItemChecked(const std::string& name, int32_t item, bool checked) override {
        Control& c = At(name);
        GtkTreeIter it = Item(c, item);
        gtk_list_store_set(c.Store, &it, kChecked, checked, -1);
    }
    bool ItemChecked(const std::string& name, int32_t item) const override {
        const Control& c = At(name);
        GtkTreeIter it = Item(c, item);
        gboolean checked = FALSE;
        gtk_tree_model_get(GTK_TREE_MODEL(c.Store), &it, kChecked, &checked, -1);
        return checked;
    }
    void SetText(const std::string& name, const std::string& text) override {
        Control& c = At(name);
        if (GTK_IS_LABEL(c.Widget))
            gtk_label_set_text(GTK_LABEL(c.Widget), text.c_str());
        else if (GTK_IS_BUTTON(c.Widget))
            gtk_button_set_label(GTK_BUTTON(c.Widget), Mnemonic(text).c_str());
        else if (c.Caption)
            gtk_label_set_text(GTK_LABEL(c.Caption), text.c_str());
    }
    std::string Text(const std::string& name) const override {
        const Control& c = At(name);
        // A button's text as shown, without its access-key mark.
        GtkWidget* shown = GTK_IS_BUTTON(c.Widget) ? gtk_bin_get_child(GTK_BIN(c.Widget)) : c.Widget;
        const char* text = shown && GTK_IS_LABEL(shown) ? gtk_label_get_text(GTK_LABEL(shown))
                           : c.Caption                  ? gtk_label_get_text(GTK_LABEL(c.Caption))
                                                        : nullptr;
        return text ? text : "";
    }
    void SetEnabled(const std::string& name, bool enabled) override {
        Control& c = At(name);
        gtk_widget_set_sensitive(c.Outer, enabled);
        if (c.Caption) gtk_widget_set_sensitive(c.Caption, enabled);
    }
    bool Enabled(const std::string& name) const override { return gtk_widget_get_sensitive(At(name).Outer); }
    void SetVisible(const std::string& name, bool visible) override {
        Control& c = At(name);
        for (GtkWidget* w : {c.Outer, c.Caption}) {
            if (!w) continue;
            gtk_widget_set_no_show_all(w, !visible);
            gtk_widget_set_visible(w, visible);
        }
    }
    bool Visible(const std::string& name) const override { return gtk_widget_get_visible(At(name).Outer); }
    void SetHint(const std::string& name, const std::string& hint) override {
        gtk_widget_set_tooltip_text(At(name).Outer, hint.empty() ? nullptr : hint.c_str());
    }
    void SetColor(const std::string& name, uint32_t color) override {
        Control& c = At(name);
        c.Color = color;
        gtk_widget_queue_draw(c.Widget);
    }
    uint32_t Color(const std::string& name) const override { return At(name).Color; }

    GLWindowHandle PanelWindow(const std::string& name) override {
        Control& c = At(name);
        if (c.Desc.Kind != ControlKind::Panel) throw std::out_of_range(name + " is no panel");
        if (!gtk_widget_get_mapped(Window)) return 0;
        gtk_widget_realize(c.Widget);
        GdkWindow* window = gtk_widget_get_window(c.Widget);
        if (!window || !gdk_window_ensure_native(window)) return 0;
        // Our GL windows live on a connection of their own: the panel's
        // window must be on the server before they use it.
        gdk_display_sync(gdk_window_get_display(window));
        return static_cast<GLWindowHandle>(gdk_x11_window_get_xid(window));
    }

    void Show() override {
        gtk_window_set_position(GTK_WINDOW(Window), GTK_WIN_POS_CENTER);
        gtk_widget_show(Window);
        WaitMapped();
    }
    void Hide() override {
        gtk_widget_hide(Window);
        gdk_display_flush(gtk_widget_get_display(Window));
    }
    bool Showing() const override { return gtk_widget_get_visible(Window); }

    int32_t ShowModal(IDialogView* owner) override {
        if (auto* parent = dynamic_cast<GtkDialogView*>(owner)) {
            gtk_window_set_transient_for(GTK_WINDOW(Window), GTK_WINDOW(parent->Window));
            gtk_window_set_position(GTK_WINDOW(Window), GTK_WIN_POS_CENTER_ON_PARENT);
        } else {
            gtk_window_set_position(GTK_WINDOW(Window), GTK_WIN_POS_CENTER);
        }
        gtk_window_set_modal(GTK_WINDOW(Window), TRUE);
        gtk_window_set_keep_above(GTK_WINDOW(Window), TRUE);
        ModalResult = mrNone;
        gtk_widget_show(Window);
        // The application's idle source runs in this loop too.
        ModalLoop = g_main_loop_new(nullptr, FALSE);
        const guint watch = g_timeout_add(100, &GtkDialogView::OnModalWatch, this);
        g_main_loop_run(ModalLoop);
        g_source_remove(watch);
        g_main_loop_unref(ModalLoop);
        ModalLoop = nullptr;
        gtk_widget_hide(Window);
        gtk_window_set_modal(GTK_WINDOW(Window), FALSE);
        return ModalResult == mrNone ? mrCancel : ModalResult;
    }
    void Close(int32_t result) override {
        if (ModalLoop) {
            ModalResult = result;
            g_main_loop_quit(ModalLoop);
        } else {
            Hide();
        }
    }
    void SetBusy(bool busy) override {
        GdkWindow* window = gtk_widget_get_window(Window);
        if (!window) return;
        GdkCursor* cursor = busy ? gdk_cursor_new_from_name(gdk_window_get_display(window), "wait") : nullptr;
        gdk_window_set_cursor(window, cursor);
        if (cursor) g_object_unref(cursor);
        gdk_display_flush(gdk_window_get_display(window));
    }

    bool ChooseColor(const std::string& title, uint32_t& color) override {
        GtkWidget* chooser = gtk_color_chooser_dialog_new(title.c_str(), GTK_WINDOW(Window));
        gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(chooser), FALSE);
        const GdkRGBA start = ToRgba(color);
        gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(chooser), &start);
        const bool chosen = RunStandard(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK;
        if (chosen) {
            GdkRGBA picked;
            gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(chooser), &picked);
            color = FromRgba(picked);
        }
        gtk_widget_destroy(chooser);
        return chosen;
    }

    void ShowAbout(const AboutInfo& about) override {
        GtkWidget* box = gtk_about_dialog_new();
        GtkAboutDialog* d = GTK_ABOUT_DIALOG(box);
        gtk_window_set_transient_for(GTK_WINDOW(box), GTK_WINDOW(Window));
        gtk_window_set_modal(GTK_WINDOW(box), TRUE);
        gtk_about_dialog_set_program_name(d, about.ProgramName.c_str());
        gtk_about_dialog_set_version(d, about.Version.c_str());
        gtk_about_dialog_set_comments(d, about.Comments.c_str());
        gtk_about_dialog_set_copyright(d, about.Copyright.c_str());
        gtk_about_dialog_set_license(d, about.License.c_str());
        if (!about.Website.empty()) gtk_about_dialog_set_website(d, about.Website.c_str());
        gtk_about_dialog_set_logo_icon_name(d, "marivelle");
        RunStandard(GTK_DIALOG(box));
        gtk_widget_destroy(box);
    }

private:
    // Setters never fire events: the signal handlers look at this.
    struct Quiet {
        explicit Quiet(GtkDialogView& view) : View(view) { ++View.Filling; }
        ~Quiet() { --View.Filling; }
        GtkDialogView& View;
    };

    Control& At(const std::string& name) {
        auto it = Controls.find(name);
        if (it == Controls.end()) throw std::out_of_range("no control '" + name + "' in dialog " + Name);
        return it->second;
    }
    const Control& At(const std::string& name) const { return const_cast<GtkDialogView*>(this)->At(name); }

    GtkTreeIter Item(const Control& c, int32_t item) const {
        GtkTreeIter it;
        if (!c.Store || item < 0 || !gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(c.Store), &it, nullptr, item))
            throw std::out_of_range("no item " + std::to_string(item) + " in " + c.Desc.Name);
        return it;
    }

    // Waits (a few seconds at most) until the window manager, if any, has
    // mapped the window, so that its panel's window exists on the server.
    void WaitMapped() {
        const gint64 deadline = g_get_monotonic_time() + 5 * G_TIME_SPAN_SECOND;
        while (!gtk_widget_get_mapped(Window) && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
    }

    Control& Add(const ControlDesc& desc) {
        Control& c = Controls[desc.Name];
        c.Desc = desc;
        c.View = this;
        const bool captioned = !desc.Caption.empty() && (desc.Kind == ControlKind::TrackBar ||
                                                          desc.Kind == ControlKind::ComboBox ||
                                                          desc.Kind == ControlKind::CheckList ||
                                                          desc.Kind == ControlKind::ColorSwatch);
        if (captioned) {
            c.Caption = gtk_label_new_with_mnemonic(Mnemonic(desc.Caption).c_str());
            gtk_label_set_xalign(GTK_LABEL(c.Caption), 0.0f);
        }
        switch (desc.Kind) {
            case ControlKind::Label:
                c.Widget = gtk_label_new(desc.Caption.c_str());
                gtk_label_set_xalign(GTK_LABEL(c.Widget), desc.SameRow ? 1.0f : 0.0f);
                break;
            case ControlKind::Button:
                c.Widget = gtk_button_new_with_mnemonic(Mnemonic(desc.Caption).c_str());
                g_signal_connect(c.Widget, "clicked", G_CALLBACK(&GtkDialogView::OnClicked), &c);
                break;
            case ControlKind::CheckBox:
                c.Widget = gtk_check_button_new_with_mnemonic(Mnemonic(desc.Caption).c_str());
                g_signal_connect(c.Widget, "toggled", G_CALLBACK(&GtkDialogView::OnChanged), &c);
                break;
            case ControlKind::ComboBox:
                c.Widget = gtk_combo_box_text_new();
                for (const std::string& item : desc.Items)
                    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(c.Widget), item.c_str());
                g_signal_connect(c.Widget, "changed", G_CALLBACK(&GtkDialogView::OnChanged), &c);
                break;
            case ControlKind::TrackBar:
                c.Widget = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, desc.Min, std::max(desc.Min + 1, desc.Max),
                                                    1);
                gtk_range_set_increments(GTK_RANGE(c.Widget), 1, std::max(1, desc.Page));
                gtk_range_set_round_digits(GTK_RANGE(c.Widget), 0);
                gtk_scale_set_draw_value(GTK_SCALE(c.Widget), FALSE);
                gtk_widget_set_hexpand(c.Widget, TRUE);
                g_signal_connect(c.Widget, "value-changed", G_CALLBACK(&GtkDialogView::OnChanged), &c);
                break;
            case ControlKind::CheckList: {
                c.Store = gtk_list_store_new(2, G_TYPE_BOOLEAN, G_TYPE_STRING);
                for (const std::string& item : desc.Items)
                    gtk_list_store_insert_with_values(c.Store, nullptr, -1, kChecked, FALSE, kText, item.c_str(), -1);
                c.Widget = gtk_tree_view_new_with_model(GTK_TREE_MODEL(c.Store));
                g_object_unref(c.Store);  // the view keeps it
                gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(c.Widget), FALSE);
                GtkCellRenderer* toggle = gtk_cell_renderer_toggle_new();
                g_signal_connect(toggle, "toggled", G_CALLBACK(&GtkDialogView::OnItemToggled), &c);
                gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(c.Widget), -1, "", toggle, "active", kChecked,
                                                            nullptr);
                gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(c.Widget), -1, "", gtk_cell_renderer_text_new(),
                                                            "text", kText, nullptr);
                g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(c.Widget)), "changed",
                                 G_CALLBACK(&GtkDialogView::OnSelected), &c);
                c.Outer = gtk_scrolled_window_new(nullptr, nullptr);
                gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(c.Outer), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
                gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(c.Outer), GTK_SHADOW_IN);
                gtk_container_add(GTK_CONTAINER(c.Outer), c.Widget);
                gtk_widget_set_vexpand(c.Outer, TRUE);
                break;
            }
            case ControlKind::ColorSwatch: {
                c.Widget = gtk_button_new();
                GtkWidget* swatch = gtk_drawing_area_new();
                gtk_widget_set_size_request(swatch, 48, 18);
                g_signal_connect(swatch, "draw", G_CALLBACK(&GtkDialogView::OnDrawSwatch), &c);
                gtk_container_add(GTK_CONTAINER(c.Widget), swatch);
                g_signal_connect(c.Widget, "clicked", G_CALLBACK(&GtkDialogView::OnClicked), &c);
                break;
            }
            case ControlKind::Panel:
                c.Widget = gtk_drawing_area_new();
                gtk_widget_set_hexpand(c.Widget, TRUE);
                gtk_widget_set_vexpand(c.Widget, TRUE);
                g_signal_connect(c.Widget, "draw", G_CALLBACK(&GtkDialogView::OnDrawPanel), nullptr);
                break;
        }
        if (!c.Outer) c.Outer = c.Widget;
        if (c.Caption) gtk_label_set_mnemonic_widget(GTK_LABEL(c.Caption), c.Widget);
        gtk_widget_set_name(c.Widget, desc.Name.c_str());
        if (desc.MinWidth > 0 || desc.MinHeight > 0)
            gtk_widget_set_size_request(c.Outer, desc.MinWidth > 0 ? desc.MinWidth : -1,
                                        desc.MinHeight > 0 ? desc.MinHeight : -1);
        if (!desc.Hint.empty()) gtk_widget_set_tooltip_text(c.Outer, desc.Hint.c_str());
        return c;
    }

    static void OnChanged(GtkWidget*, gpointer data) {
        auto* c = static_cast<Control*>(data);
        GtkDialogView& v = *c->View;
        if (v.Filling) return;
        if (auto handler = v.Events.Change) handler(c->Desc.Name);
    }
    static void OnClicked(GtkWidget*, gpointer data) {
        auto* c = static_cast<Control*>(data);
        GtkDialogView& v = *c->View;
        const int32_t result = c->Desc.ModalResult;
        const bool modal = v.ModalLoop != nullptr;
        if (auto handler = v.Events.Click) handler(c->Desc.Name);
        if (modal && result != mrNone) v.Close(result);
    }
    static void OnItemToggled(GtkCellRendererToggle*, gchar* path, gpointer data) {
        auto* c = static_cast<Control*>(data);
        GtkDialogView& v = *c->View;
        GtkTreeIter it;
        if (!gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(c->Store), &it, path)) return;
        gboolean checked = FALSE;
        gtk_tree_model_get(GTK_TREE_MODEL(c->Store), &it, kChecked, &checked, -1);
        gtk_list_store_set(c->Store, &it, kChecked, !checked, -1);
        const int32_t index = static_cast<int32_t>(std::strtol(path, nullptr, 10));
        if (auto handler = v.Events.ItemCheck) handler(c->Desc.Name, index);
    }
    static void OnSelected(GtkTreeSelection*, gpointer data) {
        auto* c = static_cast<Control*>(data);
        GtkDialogView& v = *c->View;
        if (v.Filling) return;
        if (auto handler = v.Events.Select) handler(c->Desc.Name);
    }
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
        auto* v = static_cast<GtkDialogView*>(data);
        if (v->ModalLoop) {
            v->Close(mrCancel);
        } else if (auto handler = v->Events.Close) {
            handler();
        }
        return TRUE;  // the presenter decides; the window stays until then
    }
    // Escape is the close box, as in any desktop dialog.
    static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer data) {
        if (event->keyval != GDK_KEY_Escape) return FALSE;
        return OnDelete(widget, nullptr, data);
    }
    static gboolean OnDrawSwatch(GtkWidget* widget, cairo_t* cr, gpointer data) {
        const GdkRGBA c = ToRgba(static_cast<Control*>(data)->Color);
        cairo_set_source_rgb(cr, c.red, c.green, c.blue);
        cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget));
        cairo_fill(cr);
        return TRUE;
    }
    // Black until the GL window covers it.
    static gboolean OnDrawPanel(GtkWidget*, cairo_t* cr, gpointer) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        return TRUE;
    }
    // GTK's own modal run, which a signal ending the program ends too (it
    // would otherwise wait for the person to close the box first).
    static gint RunStandard(GtkDialog* dialog) {
        const guint watch = g_timeout_add(
            100,
            [](gpointer d) -> gboolean {
                if (GtkApplication().Terminated()) gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_CANCEL);
                return G_SOURCE_CONTINUE;
            },
            dialog);
        const gint response = gtk_dialog_run(dialog);
        g_source_remove(watch);
        return response;
    }
    static gboolean OnModalWatch(gpointer data) {
        auto* v = static_cast<GtkDialogView*>(data);
        // The program ending ends a modal run too.
        if (GtkApplication().Terminated()) v->Close(mrCancel);
        return G_SOURCE_CONTINUE;
    }

    std::string Name;
    GtkWidget* Window = nullptr;
    GtkWidget* Content = nullptr;
    // std::map keeps each Control where it is: signals hold pointers to them.
    std::map<std::string, Control> Controls;
    DialogEvents Events;
    int Filling = 0;
    GMainLoop* ModalLoop = nullptr;
    int32_t ModalResult = mrNone;
    bool IsMain = false;
};

class GtkDialogSystem final : public IDialogSystem {
public:
    bool Available() override {
        if (!Tried) {
            Tried = true;
            // Our GL windows are X windows: GTK must be on the same server.
            gdk_set_allowed_backends("x11");
            Ready = gtk_init_check(nullptr, nullptr);
        }
        return Ready;
    }
    std::unique_ptr<IDialogView> CreateDialog(const DialogDesc& desc) override {
        if (!Available()) throw std::runtime_error("dialogs need a desktop session (is DISPLAY right?)");
        auto view = std::make_unique<GtkDialogView>(desc);
        if (!GtkApplication().HasMainForm()) view->MakeMainForm();
        return view;
    }
    IApplicationHooks& Application() override { return GtkApplication(); }

private:
    bool Tried = false;
    bool Ready = false;
};

}  // namespace

IDialogSystem& SystemDialogs() {
    static GtkDialogSystem dialogs;
    return dialogs;
}

}  // namespace platform
