#pragma once

// The printed layout of the three statements as data: every band, element, position (mm from the
// band's left edge and top), font and text. The definitions are built from these tables.
#include <array>

namespace kw::statements::layout {

enum class Align
{
    Left,
    Centre,
    BandCentre
};
enum class Font
{
    Normal,
    TitleBold
}; // Arial 8 pt; Arial 14 pt bold

struct Column
{
    const char *heading; // UTF-8
    double left;
    double width;
    const char *detail;  // the detail cell's expression as stored
    const char *summary; // the summary cell's expression; nullptr: none
};

struct Text
{
    const char *text; // label text, or the field name of a data field
    double left;
    double top;
    double width; // 0: the element sizes itself to its text
    Align align;
    Font font;
};

struct Bands
{
    double title, header, detail, summary, footer; // heights
};

inline constexpr double CellHeight = 4.0;
inline constexpr double HeadingTop = 2.1;
inline constexpr double SummaryTop = 2.1;

namespace monthly {
inline constexpr Bands bands{10.6, 7.1, 4.5, 9.3, 15.9};
inline constexpr double DetailTop = 0.0;
inline constexpr Text dateLabel{"Data / Godzina :", 19.3, 2.1, 20.6, Align::Left, Font::Normal};
inline constexpr Text dateValue{"", 40.5, 2.1, 14.8, Align::Left, Font::Normal};
inline constexpr Text title{"Zestawienie miesięczne", 108.0, 0, 61.1, Align::BandCentre, Font::TitleBold};
inline constexpr Text yearLabel{"- rok :", 171.4, 0, 14.6, Align::Left, Font::TitleBold};
inline constexpr Text yearField{"ROK", 188.4, 0, 11.4, Align::Left, Font::TitleBold};
inline constexpr std::array<Column, 13> columns{{
    {"Miesiąc", 0.3, 10.6, "Table1.MIESIAC", nullptr},
    {"Dzień", 10.8, 8.5, "Table1.DZIEN", nullptr},
    {"Data wpisu", 19.6, 16.7, "Table1.DATA", nullptr},
    {"Przychód", 36.8, 16.4, "Table1.PRZYCHOD", "SUM(Table1.PRZYCHOD)"},
    {"Koszt", 54.0, 16.4, "Table1.KOSZT", "SUM(Table1.KOSZT)"},
    {"Koszt okr.", 71.2, 16.4, "Table1.KOSZTOKR", "SUM(Table1.KOSZTOKR)"},
    {"Opłaty", 88.4, 16.4, "Table1.OPLATY", "SUM(Table1.OPLATY)"},
    {"Żywność", 105.6, 16.4, "Table1.ZYWNOSC", "SUM(Table1.ZYWNOSC)"},
    {"Używki", 122.8, 16.4, "Table1.UZYWKI", "SUM(Table1.UZYWKI)"},
    {"Odzież", 140.0, 16.4, "Table1.ODZIEZ", "SUM(Table1.ODZIEZ)"},
    {"Śr.czyst.", 157.2, 16.4, "Table1.ROZRYWKA", "SUM(Table1.ROZRYWKA)"},
    {"Samochód", 174.4, 16.4, "Table1.SAMOCH", "SUM(Table1.SAMOCH)"},
    {"Inne", 191.6, 16.4, "Table1.INNE", "SUM(Table1.INNE)"},
}};
// The remark: a heading narrower than the data field under it, both left-aligned.
inline constexpr Text remarkHeading{"Uwagi", 209.6, HeadingTop, 14.3, Align::Left, Font::Normal};
inline constexpr Text remarkField{"UWAGI", 209.6, DetailTop, 68.3, Align::Left, Font::Normal};
inline constexpr Text sumLabel{"SUMA :", 16.9, SummaryTop, 10.8, Align::Left, Font::Normal};
// Page footer: labels and the month-sum (DOCHOD...) and year-sum (RDOCHOD...) fields.
inline constexpr std::array<Text, 6> footerLabels{{
    {"Dochód miesięczny :", 12.7, 2.1, 0, Align::Left, Font::Normal},
    {"Wydatek miesięczny :", 69.8, 2.1, 0, Align::Left, Font::Normal},
    {"Budżet miesięczny :", 129.1, 2.1, 0, Align::Left, Font::Normal},
    {"Dochód roczny :", 12.7, 8.5, 0, Align::Left, Font::Normal},
    {"Wydatek roczny :", 69.8, 8.5, 0, Align::Left, Font::Normal},
    {"Budżet roczny :", 129.1, 8.5, 0, Align::Left, Font::Normal},
}};
inline constexpr std::array<Text, 3> footerMonthFields{{
    {"DOCHOD", 42.3, 2.1, 0, Align::Left, Font::Normal},
    {"WYDATKI", 99.5, 2.1, 0, Align::Left, Font::Normal},
    {"ROZNICA", 156.6, 2.1, 0, Align::Left, Font::Normal},
}};
inline constexpr std::array<Text, 3> footerYearFields{{
    {"RDOCHOD", 36.0, 8.5, 0, Align::Left, Font::Normal},
    {"RWYDATKI", 95.2, 8.5, 0, Align::Left, Font::Normal},
    {"RROZNICA", 152.4, 8.5, 0, Align::Left, Font::Normal},
}};
} // namespace monthly

namespace yearly {
inline constexpr Bands bands{15.6, 8.5, 7.7, 8.2, 5.3};
inline constexpr double DetailTop = 2.1;
inline constexpr Text dateLabel{"Data / Godzina :", 18.0, 2.1, 20.6, Align::Left, Font::Normal};
inline constexpr Text dateValue{"", 41.3, 2.1, 14.8, Align::Left, Font::Normal};
inline constexpr Text title{"Zestawienie roczne", 112.7, 0, 51.6, Align::BandCentre, Font::TitleBold};
inline constexpr Text yearLabel{"- rok :", 165.1, 0, 14.6, Align::Left, Font::TitleBold};
inline constexpr Text yearField{"SROK", 182.0, 0, 14.8, Align::Left, Font::TitleBold};
// Boxed captions standing on the title band's bottom edge, over their groups of columns.
inline constexpr std::array<Text, 3> groups{{
    {"Dochód", 12.7, 10.6, 56.4, Align::Centre, Font::Normal},
    {"Wydatki", 71.7, 10.6, 132.8, Align::Centre, Font::Normal},
    {"Zestawienie", 208.5, 10.6, 61.6, Align::Centre, Font::Normal},
}};
inline constexpr std::array<Column, 14> columns{{
    {"Miesiąc", 0.3, 10.6, "Table1.SMIESIAC", nullptr},
    {"Przychód", 13.0, 17.2, "Table1.SPRZYCH", "SUM(Table1.SPRZYCH)"},
    {"Koszt", 32.3, 17.2, "Table1.SKOSZT", "SUM(Table1.SKOSZT)"},
    {"Koszt okr.", 51.6, 17.2, "Table1.SKOSZTOKR", "SUM(Table1.SKOSZTOKR)"},
    {"Opłaty", 71.2, 17.2, "Table1.SOPLATY", "SUM(Table1.SOPLATY)"},
    {"Żywność", 90.5, 17.2, "Table1.SZYWNOSC", "SUM(Table1.SZYWNOSC)"},
    {"Używki", 109.8, 17.2, "Table1.SUZYWKI", "SUM(Table1.SUZYWKI)"},
    {"Odzież", 129.1, 17.2, "Table1.SODZIEZ", "SUM(Table1.SODZIEZ)"},
    {"Śr.czyst.", 148.4, 17.2, "Table1.SROZRYWKA", "SUM(Table1.SROZRYWKA)"},
    {"Samochód", 167.7, 17.2, "Table1.SSAMOCH", "SUM(Table1.SSAMOCH)"},
    {"Inne", 187.1, 17.2, "Table1.SINNE", "SUM(Table1.SINNE)"},
    {"Dochód", 208.5, 19.3, "Table1.DOCHOD", "SUM(Table1.DOCHOD)"},
    {"Wydatki", 229.7, 19.3, "Table1.WYDATKI", "SUM(Table1.WYDATKI)"},
    {"Budżet", 250.8, 19.6, "Table1.ROZNICA", "SUM(Table1.ROZNICA)"},
}};
inline constexpr Text sumLabel{"SUMA :", 0.0, SummaryTop, 10.8, Align::Left, Font::Normal};
} // namespace yearly

namespace multiyear {
inline constexpr Bands bands{13.5, 7.7, 8.5, 9.3, 11.1};
inline constexpr double DetailTop = 2.1;
inline constexpr Text title{"Zestawienie wieloletnie", 107.4, 0, 61.9, Align::BandCentre, Font::TitleBold};
inline constexpr Text dateLabel{"Data / Czas :", 208.8, 2.1, 16.7, Align::Left, Font::Normal};
inline constexpr Text dateValue{"", 227.8, 2.1, 23.8, Align::Left, Font::Normal};
inline constexpr std::array<Text, 3> groups{{
    {"Dochód", 10.3, 8.5, 57.4, Align::Centre, Font::Normal},
    {"Wydatki", 68.5, 8.5, 134.4, Align::Centre, Font::Normal},
    {"Zestawienie", 203.7, 8.5, 57.4, Align::Centre, Font::Normal},
}};
inline constexpr std::array<Column, 14> columns{{
    {"Rok", 0.3, 9.5, "[RROK]", nullptr},
    {"Przychód", 10.3, 18.8, "[RPRZYCH]", "SUM(Table1.RPRZYCH)"},
    {"Koszt", 29.6, 18.8, "[RKOSZT]", "SUM(Table1.RKOSZT)"},
    {"Koszt okr.", 48.9, 18.8, "[RKOSZTOKR]", "SUM(Table1.RKOSZTOKR)"},
    {"Opłaty", 68.5, 18.8, "[ROPLATY]", "SUM(Table1.ROPLATY)"},
    {"Żywność", 87.8, 18.8, "[RZYWNOSC]", "SUM(Table1.RZYWNOSC)"},
    {"Używki", 107.2, 18.8, "[RUZYWKI]", "SUM(Table1.RUZYWKI)"},
    {"Odzież", 126.5, 18.8, "[RODZIEZ]", "SUM(Table1.RODZIEZ)"},
    {"Śr. czystości", 145.8, 18.8, "[RROZRYWKA]", "SUM(Table1.RROZRYWKA)"},
    {"Samochód", 165.1, 18.8, "[RSAMOCH]", "SUM(Table1.RSAMOCH)"},
    {"Inne", 184.4, 18.8, "[RINNE]", "SUM(Table1.RINNE)"},
    {"Dochód", 203.7, 18.8, "[RDOCHOD]", "SUM(Table1.RDOCHOD)"},
    {"Wydatki", 222.8, 18.8, "[RWYDATKI]", "SUM(Table1.RWYDATKI)"},
    {"Budżet", 242.6, 18.8, "(RROZNICA)", "SUM(Table1.RROZNICA)"},
}};
inline constexpr Text sumLabel{"Suma :", 0.0, SummaryTop, 9.0, Align::Left, Font::Normal};
} // namespace multiyear

} // namespace kw::statements::layout
