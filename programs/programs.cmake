# The list of the programs, in the order to learn them. The desktop build, the web pages
# and their index, the pictures in docs/ and the tests all take the programs from here;
# docs/adding-a-program.md says how to add one.
#
#   tunnel_program(NAME KIND "LINE")
#
# NAME: its main body is programs/NAME.cpp and its page's text web/about/NAME.html.
# KIND: what it shows:
#   none     nothing: it computes and ends
#   picture  a picture it writes as a BMP file; it opens no screen
#   screen   the screen, which it takes over until Escape
# LINE: what it does, in one line, for the web pages' index.
#
# Its short name, NAME without "tunnel_" and "_dump" (static, texture), names its main
# body called in-process, Run_SHORT (programs/CMakeLists.txt), and its pictures.
function(tunnel_program name kind line)
  if(NOT kind MATCHES "^(none|picture|screen)$")
    message(FATAL_ERROR "programs/programs.cmake: ${name} is of kind '${kind}': none, picture or screen")
  endif()
  string(REGEX REPLACE "^tunnel_|_dump$" "" short ${name})
  set(TUNNEL_PROGRAMS ${TUNNEL_PROGRAMS} ${name} PARENT_SCOPE)
  set(TUNNEL_${kind}_PROGRAMS ${TUNNEL_${kind}_PROGRAMS} ${name} PARENT_SCOPE)
  set(${name}_KIND ${kind} PARENT_SCOPE)
  set(${name}_SHORT ${short} PARENT_SCOPE)
  set(${name}_LINE "${line}" PARENT_SCOPE)
endfunction()

tunnel_program(tunnel_tables none
  "computes the three tables, the texture (256 x 256) and the distance and angle of each screen pixel (640 x 480 each), and ends")
tunnel_program(texture_dump picture
  "writes the texture as a picture, Varnoxia_Texture.bmp: u XOR v, a nest of blue squares")
tunnel_program(distance_dump picture
  "writes the distance table of a 640 x 480 screen, Varnoxia_Distance.bmp: how deep each pixel looks")
tunnel_program(angle_dump picture
  "writes the angle table of a 640 x 480 screen, Varnoxia_Angle.bmp: where around the tube each pixel lies")
tunnel_program(tunnel_static screen
  "the tunnel standing still: each pixel shows the texture at its own distance and angle, redrawn every frame")
tunnel_program(tunnel_animated screen
  "the main program: flies down the blue tunnel, the texture streaming towards you and turning around the tube, a cycle of 200 frames, until Escape")
tunnel_program(tunnel_lookaround screen
  "the same flight seen from a wandering viewpoint: the tunnel's mouth drifts around the screen on two sine waves (tables of twice the screen's size)")
