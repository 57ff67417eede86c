#pragma once

namespace kw::codepage_tables {
extern const char16_t cp1250[128];
extern const char16_t cp1252[128];
extern const char16_t cp852[128];
extern const char16_t cp437[128];
extern const char16_t cp850[128];
} // namespace kw::codepage_tables
