# Makes the square application icon from the wide logo: the mark at the logo's left end, on a
# dark rounded tile so its light strokes show on light menus too.
# Usage: cmake -DINPUT=logo.svg -DOUTPUT=icon.svg -P app_icon.cmake
file(READ "${INPUT}" logo)

string(FIND "${logo}" "<svg" start)
string(FIND "${logo}" ">" after_tag)
if(start LESS 0 OR after_tag LESS start)
  message(FATAL_ERROR "${INPUT}: no <svg> element")
endif()
math(EXPR body_start "${after_tag} + 1")
string(SUBSTRING "${logo}" ${body_start} -1 body)

# The mark spans x 0..58 and y 4..52 of the logo; the viewport clips the lettering to its right.
# The logo's own closing tag ends the new element.
string(CONCAT icon
  "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.2\" baseProfile=\"tiny\" "
  "width=\"256\" height=\"256\" viewBox=\"-5 -6 68 68\">\n"
  "<rect x=\"-5\" y=\"-6\" width=\"68\" height=\"68\" rx=\"12\" fill=\"#15191e\"/>"
  "${body}")
file(WRITE "${OUTPUT}" "${icon}")
