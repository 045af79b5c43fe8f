// Anchor of the platform library; the stand-ins live in the files beside it.
namespace varnelo::platform {
int platformLibraryAnchor() { return 0; }
}  // namespace varnelo::platform
