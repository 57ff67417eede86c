// Anchor of the widget-free tools library; the areas add their sources through tools/*.cmake.
namespace kw::tools_core_anchor {
int version() { return 1; }
} // namespace kw::tools_core_anchor
