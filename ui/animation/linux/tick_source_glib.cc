#include "ui/animation/linux/tick_source_glib.h"

namespace ui {

namespace {

// A GLib timeout source re-armed from each dispatch.
class GLibTickSource : public TickSource {
 public:
  explicit GLibTickSource(GMainContext* context)
      : context_(g_main_context_ref(context ? context : g_main_context_default())) {}
  ~GLibTickSource() override {
    Stop();
    g_main_context_unref(context_);
  }
  GLibTickSource(const GLibTickSource&) = delete;
  GLibTickSource& operator=(const GLibTickSource&) = delete;

  void Start(int interval_ms, std::function<void()> tick) override {
    Stop();
    tick_ = std::move(tick);
    source_ = g_timeout_source_new(static_cast<guint>(interval_ms));
    g_source_set_callback(source_, &GLibTickSource::OnTimeout, this, nullptr);
    g_source_attach(source_, context_);
  }

  void Stop() override {
    if (!source_) return;
    g_source_destroy(source_);
    g_source_unref(source_);
    source_ = nullptr;
  }

 private:
  static gboolean OnTimeout(gpointer self) {
    // The tick may replace or destroy this very source (GLib copes with
    // either) and with it the callback: it runs from a copy.
    const std::function<void()> tick = static_cast<GLibTickSource*>(self)->tick_;
    tick();
    return G_SOURCE_CONTINUE;
  }

  GMainContext* context_;
  GSource* source_ = nullptr;
  std::function<void()> tick_;
};

}  // namespace

std::unique_ptr<TickSource> CreateGLibTickSource(GMainContext* context) {
  return std::make_unique<GLibTickSource>(context);
}

std::unique_ptr<TickSource> CreateTickSource() {
  return CreateGLibTickSource(g_main_context_get_thread_default());
}

}  // namespace ui
