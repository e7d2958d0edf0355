// The form scanners on pages as trackers write them, and on broken markup.

#include "HtmlScan.h"

#include <gtest/gtest.h>


using namespace crashreport;

namespace {

const char *const Page = R"(<html><!-- <input name="summary" value="in a comment"> -->
<FORM method="post">
<INPUT type=hidden NAME=m_id VALUE=17>
<input type="text" name='summary' value="[v1.0 - 3]: E &amp; F &quot;q&quot; &#65;&#x42;"/>
<input name="report_stay" type="checkbox">
<textarea name="description" rows="5">Line one &lt;b&gt;
Line two</textarea>
<select name="severity"><option value="10">feature</option><option value="50" selected="selected">minor</option></select>
<select name="priority"><option value="20">low</option><option value="30">normal</option></select>
<select name="project_id">
  <option value="0" selected>All Projects</option>
  <option value="4">  Vetu  </option>
  <option>Other &amp; more</option>
</select>
<select name="empty"></select>
</FORM></html>)";

} // namespace

TEST(WebHtml, FormValuesAsABrowserSendsThem)
{
    EXPECT_EQ(HtmlInputValue(Page, "m_id"), "17");
    EXPECT_EQ(HtmlInputValue(Page, "M_ID"), "17"); // names without regard to case
    EXPECT_EQ(HtmlInputValue(Page, "summary"), "[v1.0 - 3]: E & F \"q\" AB");
    EXPECT_EQ(HtmlInputValue(Page, "report_stay"), "");
    EXPECT_FALSE(HtmlInputValue(Page, "missing").has_value());
    EXPECT_EQ(HtmlTextArea(Page, "description"), "Line one <b>\nLine two");
    EXPECT_FALSE(HtmlTextArea(Page, "summary").has_value());
    EXPECT_EQ(HtmlSelectedOption(Page, "severity"), "50");
    EXPECT_EQ(HtmlSelectedOption(Page, "priority"), "20"); // none selected: the first
    EXPECT_EQ(HtmlSelectedOption(Page, "project_id"), "0");
    EXPECT_FALSE(HtmlSelectedOption(Page, "empty").has_value());
    EXPECT_FALSE(HtmlSelectedOption(Page, "missing").has_value());
    EXPECT_EQ(HtmlOptionByText(Page, "project_id", "vetu"), "4");
    EXPECT_EQ(HtmlOptionByText(Page, "project_id", "Other & more"), "Other & more"); // no value: its text
    EXPECT_EQ(HtmlOptionByText(Page, "project_id", "Nope"), "0");                    // else the selected one
}

TEST(WebHtml, BrokenMarkupEndsTheScan)
{
    const std::string cases[] = {
        "",
        "<",
        "<<<<<<<<",
        "<input name=\"a\" value=\"never closed",
        "<input name=a value=",
        "<input name=\"a\"",
        "<select name=\"s\"><option value=\"1\" selected",
        "<select name=\"s\"><option>text without end",
        "<textarea name=\"t\">no end",
        "<!-- comment without end <input name=\"a\" value=\"1\">",
        "<input name=\"a\" value='x\"y'>",
        "< input name=a>",
        "<input/name=a/value=b>",
        "<input name=\"a\" value=\"1\"<input name=\"b\" value=\"2\">",
        "&#99999999999; &#xZZ; &; &amp",
    };
    for (const std::string &page : cases) {
        SCOPED_TRACE(page);
        (void)HtmlInputValue(page, "a");
        (void)HtmlTextArea(page, "t");
        (void)HtmlSelectedOption(page, "s");
        (void)HtmlOptionByText(page, "s", "text");
    }
    EXPECT_EQ(HtmlInputValue("<input name=\"a\" value=\"never closed", "a"), "never closed");
    EXPECT_EQ(HtmlTextArea("<textarea name=\"t\">no end", "t"), "no end");
    EXPECT_EQ(HtmlSelectedOption("<select name=\"s\"><option value=\"1\" selected", "s"), "1");
    EXPECT_EQ(HtmlInputValue("<input name=\"a\" value=\"1\"<input name=\"b\" value=\"2\">", "b"), "2");
    EXPECT_FALSE(HtmlInputValue("<!-- comment without end <input name=\"a\" value=\"1\">", "a").has_value());
}

TEST(WebHtml, LargePagesOfOpenTagsEndTheScan)
{
    // Pages that make a scanner that goes back to the start of each tag run for hours; the test's
    // own time-out catches that.
    const std::string pages[] = { std::string(4u << 20, '<'), std::string(2u << 20, '"'),
                                  "<select name=s>" + std::string(1u << 20, '<') };
    for (const std::string &page : pages) {
        EXPECT_FALSE(HtmlInputValue(page, "a").has_value());
        EXPECT_FALSE(HtmlSelectedOption(page, "s").has_value());
    }
}
