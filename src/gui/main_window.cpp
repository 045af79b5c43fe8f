// STUB: the window comes here.
namespace varnelo::gui {
int windowAnchor() { return 0; }
}  // namespace varnelo::gui
