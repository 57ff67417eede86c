// Anchor of the tools window library; the areas add their sources through tools/*.cmake.
namespace kw::tools_anchor {
int version() { return 1; }
} // namespace kw::tools_anchor
