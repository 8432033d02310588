#include "server/Pages.h"

#include "server/Text.h"

namespace {

// The menu picture's colours: a sunny yellow-to-red sky, a red band with a yellow title,
// dark brown text on cream.
constexpr std::string_view Style = R"(
*{box-sizing:border-box}
body{margin:0;font-family:"Liberation Sans",Arial,Helvetica,sans-serif;color:#5A1A05;
 background:linear-gradient(#FFE47E,#FFAE40 40%,#FF7A2A 75%,#E5401C) fixed}
a{color:#B8120A;font-weight:bold}
a:hover{color:#F04A30}
.band{background:linear-gradient(#F04A30,#B8120A);color:#FFD21E;padding:10px 18px;
 border-bottom:3px solid #6E1006;display:flex;align-items:center;gap:12px}
.band h1{margin:0;font-size:28px;letter-spacing:1px;
 text-shadow:-2px -2px 0 #5A0A02,2px -2px 0 #5A0A02,-2px 2px 0 #5A0A02,2px 2px 0 #5A0A02,3px 4px 3px rgba(0,0,0,.35)}
.band nav{margin-left:auto}
.band nav a{color:#FFFFFF;margin-left:14px;text-decoration:none}
.page{max-width:900px;margin:18px auto;padding:16px 22px;
 background:linear-gradient(#FFFCEE,#FFE7B0);border:2px solid #8A0A06;border-radius:12px;
 box-shadow:3px 5px 10px rgba(58,8,0,.5)}
h2{color:#B8120A;border-bottom:2px solid #FFAE40;padding-bottom:3px}
table.list{border-collapse:collapse;width:100%;margin-bottom:14px}
table.list th{background:linear-gradient(#F04A30,#B8120A);color:#FFD21E;text-align:left;padding:4px 6px}
table.list td{padding:3px 6px;border-bottom:1px solid rgba(229,64,28,.25)}
table.list tr:nth-child(even) td{background:rgba(255,174,64,.18)}
table.list td.num,table.list th.num{text-align:right}
.lists{display:flex;gap:20px;flex-wrap:wrap}
.lists section{flex:1 1 380px}
.empty{font-style:italic}
kbd{background:#FFFFFF;border:1px solid #8A2A08;border-radius:4px;padding:0 5px;
 box-shadow:1px 2px 0 #8A2A08;font-family:inherit}
dt{font-weight:bold;color:#B8120A;margin-top:8px}
.foot{text-align:center;font-size:12px;color:#6A2008;margin:10px}
@media (max-width:420px){
 .band{padding:4px 8px}.band h1{font-size:16px}.band nav{display:none}
 .page{margin:4px;padding:4px 6px;border-radius:6px}
 body{font-size:11px}h2{font-size:13px;margin:4px 0}
 .wide{display:none}
}
)";

// The crosshair of the game, as a small picture for headings.
constexpr std::string_view Crosshair =
    R"(<svg width="34" height="34" viewBox="0 0 34 34" aria-hidden="true">)"
    R"(<circle cx="17" cy="17" r="12" fill="none" stroke="#FFD21E" stroke-width="3"/>)"
    R"(<path d="M17 1v10M17 23v10M1 17h10M23 17h10" stroke="#FFD21E" stroke-width="3"/>)"
    R"(<circle cx="17" cy="17" r="2.5" fill="#FFFFFF"/></svg>)";

std::string Document(std::string_view title, std::string_view body,
                     std::string_view extraStyle = {}) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>";
    html += HtmlEscape(title);
    html += "</title><style>";
    html += Style;
    html += extraStyle;
    html += "</style></head><body>";
    html += body;
    html += "</body></html>\n";
    return html;
}

std::string Framed(std::string_view title, std::string_view content) {
    std::string body = "<header class=\"band\">";
    body += Crosshair;
    body += "<h1>";
    body += HtmlEscape(title);
    body += "</h1><nav><a href=\"/korvaldinternal/highscore.html\">Highscores</a>"
            "<a href=\"/crumblerush/hilfe/index.html\">Hilfe</a>"
            "<a href=\"/korvald/\">Korvald</a></nav></header><main class=\"page\">";
    body += content;
    body += "</main><p class=\"foot\">Crumble Rush &middot; ein Spiel f&uuml;r Korvald</p>";
    return Document(title, body);
}

std::string SexText(char sex) {
    if (sex == 'f') return "w";
    if (sex == 'm') return "m";
    return "";
}

std::string ListTable(const std::vector<TListEntry>& list, std::string_view emptyText) {
    if (list.empty()) return "<p class=\"empty\">" + std::string(emptyText) + "</p>";
    std::string html = "<table class=\"list\"><tr><th class=\"num\">Platz</th><th>Name</th>"
                       "<th class=\"wide\">Wohnort</th><th class=\"wide\">Land</th>"
                       "<th class=\"wide num\">Alter</th><th class=\"wide\">m/w</th>"
                       "<th class=\"num\">Punkte</th></tr>";
    for (const TListEntry& entry : list) {
        html += "<tr><td class=\"num\">" + std::to_string(entry.Rank) + ".</td><td>" +
                HtmlEscape(entry.Name) + "</td><td class=\"wide\">" + HtmlEscape(entry.Residence) +
                "</td><td class=\"wide\">" + HtmlEscape(entry.Country) +
                "</td><td class=\"wide num\">" + (entry.Age > 0 ? std::to_string(entry.Age) : "") +
                "</td><td class=\"wide\">" + SexText(entry.Sex) + "</td><td class=\"num\">" +
                std::to_string(entry.Score) + "</td></tr>";
    }
    return html + "</table>";
}

} // namespace

std::string WeekLabel(std::string_view weekKey) {
    const size_t w = weekKey.find("-W");
    if (w == std::string_view::npos) return std::string(weekKey);
    std::string week(weekKey.substr(w + 2));
    while (week.size() > 1 && week[0] == '0')
        week.erase(0, 1);
    return "KW " + week + "/" + std::string(weekKey.substr(0, w));
}

std::string StartPage(const std::vector<TListEntry>& weekTop, const std::vector<std::string>& news,
                      std::string_view weekKey) {
    // Everything fits the menu's frame of 292 x 171 pixels without scroll bars.
    constexpr std::string_view frameStyle = R"(
html,body{width:292px;height:171px;overflow:hidden}
body{font-size:10px;line-height:12px;background:linear-gradient(#FFFCEE,#FFE7B0)}
.top{display:flex;align-items:center;height:24px;padding:0 6px;
 background:linear-gradient(#F04A30,#B8120A);border-bottom:2px solid #6E1006}
.top b{color:#FFD21E;font-size:15px;text-shadow:-1px -1px 0 #5A0A02,1px -1px 0 #5A0A02,-1px 1px 0 #5A0A02,1px 1px 0 #5A0A02}
.top span{margin-left:auto;color:#FFFFFF;font-weight:bold}
.news{margin:3px 6px;height:24px;overflow:hidden;color:#6A2008}
.news p{margin:0;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.week{margin:0 6px;width:280px;border-collapse:collapse;table-layout:fixed}
.week th{text-align:left;color:#B8120A;border-bottom:1px solid #FFAE40;padding:0}
.week td{padding:0;height:13px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.week td.r{width:18px}.week td.s{width:60px;text-align:right;font-weight:bold}
.empty{margin:6px;font-style:italic}
.more{position:absolute;left:6px;right:6px;bottom:3px;text-align:right}
)";
    std::string body = "<div class=\"top\"><b>Crumble Rush</b><span>";
    body += HtmlEscape(WeekLabel(weekKey));
    body += "</span></div><div class=\"news\">";
    for (size_t i = 0; i < news.size() && i < 2; ++i)
        body += "<p>" + HtmlEscape(news[i]) + "</p>";
    body += "</div>";
    if (weekTop.empty()) {
        body += "<p class=\"empty\">Diese Woche hat noch niemand einen Highscore "
                "ver&ouml;ffentlicht. Sei die oder der Erste!</p>";
    } else {
        body += "<table class=\"week\"><tr><th colspan=\"3\">Top 5 der Woche</th></tr>";
        for (size_t i = 0; i < weekTop.size() && i < 5; ++i) {
            const TListEntry& entry = weekTop[i];
            body += "<tr><td class=\"r\">" + std::to_string(entry.Rank) + ".</td><td>" +
                    HtmlEscape(entry.Name) + "</td><td class=\"s\">" + std::to_string(entry.Score) +
                    "</td></tr>";
        }
        body += "</table>";
    }
    body +=
        "<a class=\"more\" href=\"/korvaldinternal/highscore.html\">Alle Highscores &raquo;</a>";
    return Document("Crumble Rush", body, frameStyle);
}

std::string HighscorePage(const std::vector<TListEntry>& allTime,
                          const std::vector<TListEntry>& week, std::string_view weekKey) {
    std::string content = "<div class=\"lists\"><section><h2>Dauer-Highscore</h2>";
    content += ListTable(allTime, "Noch hat niemand einen Highscore ver&ouml;ffentlicht.");
    content += "</section><section><h2>Wochenhighscore " + HtmlEscape(WeekLabel(weekKey)) + "</h2>";
    content += ListTable(week, "Diese Woche hat noch niemand einen Highscore ver&ouml;ffentlicht.");
    content += "</section></div><p>Ver&ouml;ffentlichen Sie Ihren besten Punktestand im Men&uuml; "
               "<b>Internet &rarr; Highscore ver&ouml;ffentlichen</b>. Jede Spielerin und jeder "
               "Spieler steht mit dem besten Ergebnis einmal in jeder Liste; die Wochenwertung "
               "beginnt jeden Montag neu.</p>";
    return Framed("Crumble Rush Highscores", content);
}

std::string HelpPage() {
    const std::string content = R"(
<h2>Worum geht es?</h2>
<p>Chips und Peperoni fliegen in Formationen &uuml;ber den Bildschirm. Schie&szlig;en Sie sie ab:
Jeder Treffer zerbricht sie in drei St&uuml;cke, die nach unten fallen. Fangen Sie die St&uuml;cke
mit der Chipst&uuml;te auf, die zwei Maskottchen am unteren Rand hin und her schieben.
Ein Spiel dauert 90 Sekunden.</p>
<h2>Steuerung</h2>
<dl>
<dt>Zielen</dt><dd>Das Fadenkreuz folgt der Maus.</dd>
<dt>Schie&szlig;en</dt><dd><kbd>Linke Maustaste</kbd> oder <kbd>Enter</kbd>: ein Schuss genau
auf die Stelle unter dem Fadenkreuz.</dd>
<dt>Chipst&uuml;te schieben</dt><dd><kbd>&larr;</kbd> und <kbd>&rarr;</kbd> (oder <kbd>Y</kbd>
und <kbd>X</kbd>).</dd>
<dt>Pause</dt><dd><kbd>P</kbd> &ndash; jede Pause kostet 1000 Punkte.</dd>
<dt>Bildschirmfoto</dt><dd><kbd>Strg</kbd> + <kbd>P</kbd> speichert ein Bild im Ordner
&bdquo;Screenshots&ldquo;.</dd>
<dt>Beenden</dt><dd><kbd>Esc</kbd> f&uuml;hrt zur&uuml;ck ins Men&uuml;.</dd>
</dl>
<h2>Punkte</h2>
<table class="list"><tr><th>Gefangen</th><th class="num">Punkte</th></tr>
<tr><td>ein Chip-St&uuml;ck</td><td class="num">100</td></tr>
<tr><td>ein Peperoni-St&uuml;ck</td><td class="num">200</td></tr>
<tr><td>eine ganze Welle abgeschossen</td><td class="num">1000 Extrapunkte</td></tr></table>
<h2>Extras</h2>
<p>Zwischen den Chips fliegen Dreiecke. Ein Treffer bringt ein Extra, das 10 Sekunden
anh&auml;lt; mehrere Treffer addieren sich.</p>
<dl>
<dt>Explosion</dt><dd>Das rote Dreieck l&auml;sst alles auf dem Bildschirm platzen: jeden Chip,
jede Peperoni und jedes fallende St&uuml;ck.</dd>
<dt>Umgedrehte T&uuml;te</dt><dd>Die T&uuml;te steht Kopf und die Steuerung ist vertauscht:
&larr; schiebt nach rechts. Ein weiterer Treffer auf das Dreieck dreht sie zur&uuml;ck.</dd>
<dt>Dauerfeuer</dt><dd>Solange Sie die linke Maustaste gedr&uuml;ckt halten, fallen zehn
Sch&uuml;sse pro Sekunde.</dd>
<dt>Doppelt breite T&uuml;te</dt><dd>Die T&uuml;te wird breit und f&auml;ngt viel mehr.</dd>
</dl>
<h2>Highscores</h2>
<p>Die zehn besten Ergebnisse merkt sich das Spiel mit Ihrem Namen. Den besten Punktestand
k&ouml;nnen Sie im Internet ver&ouml;ffentlichen und mit allen anderen vergleichen:
<a href="/korvaldinternal/highscore.html">zu den Highscores</a>.</p>
<h2>Probleme?</h2>
<p>St&uuml;rzt das Spiel ab, sucht das Men&uuml; beim n&auml;chsten Start nach einer bekannten
L&ouml;sung. Findet es keine, senden Sie uns bitte einen Fehlerreport (Men&uuml; <b>Internet
&rarr; Fehlerreport senden</b>).</p>
)";
    return Framed("Crumble Rush Hilfe", content);
}

std::string BrandPage() {
    const std::string content = R"(
<h2>Knusprig. W&uuml;rzig. Korvald.</h2>
<p>Korvald steht f&uuml;r goldgelbe Kartoffelchips und feurige Peperoni-Snacks. Mit
<b>Crumble Rush</b> holen Sie sich den Knabberspa&szlig; auf den Bildschirm: fangen Sie so viele
Chips wie m&ouml;glich in Ihrer T&uuml;te!</p>
<div class="lists">
<section><h2>Das Spiel</h2><p>90 Sekunden, ein Fadenkreuz, eine T&uuml;te.
<a href="/crumblerush/hilfe/index.html">So wird gespielt</a>.</p></section>
<section><h2>Die Bestenliste</h2><p>Wer f&auml;ngt am meisten?
<a href="/korvaldinternal/highscore.html">Zu den Highscores</a>.</p></section>
</div>
)";
    return Framed("Korvald", content);
}

std::string DownloadPage(std::string_view version) {
    return Framed("Crumble Rush herunterladen",
                  "<h2>Crumble Rush " + HtmlEscape(version) +
                      "</h2><p>Die neueste Version von Crumble Rush erhalten Sie bei Ihrem "
                      "Anbieter dieses Servers. Ihre Highscores und Einstellungen im Ordner "
                      "&bdquo;SPS&ldquo; bleiben beim Aktualisieren erhalten.</p>");
}

std::string NotFoundPage() {
    return Framed("Nicht gefunden",
                  "<h2>Diese Seite gibt es nicht</h2><p>Zur&uuml;ck zu den "
                  "<a href=\"/korvaldinternal/highscore.html\">Highscores</a> oder zur "
                  "<a href=\"/crumblerush/hilfe/index.html\">Hilfe</a>.</p>");
}

std::string SolutionPage(std::string_view title, const std::vector<std::string>& paragraphs) {
    std::string content = "<h2>" + HtmlEscape(title) + "</h2>";
    for (const std::string& paragraph : paragraphs)
        content += "<p>" + paragraph + "</p>";
    content += "<p>Hilft das nicht, senden Sie uns bitte einen Fehlerreport (Men&uuml; "
               "<b>Internet &rarr; Fehlerreport senden</b>).</p>";
    return Framed("Crumble Rush Fehlerlösung", content);
}
