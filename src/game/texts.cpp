// The scroller texts: the makers' story with credits and greetings, and a verse about
// the cubes. Single lines of 2015 and 223 characters.
#include "game/rules.h"

const char CreditsText[CreditsLength + 1] =
    "Korvastil Brumsovert ... This is how it happened: one cold winter night velk and ostrun "
    "sat in a basement full of humming old computers and decided to make a game that fits in "
    "26 kilobytes, with everything inside: the pictures, the cubes, the big round uncle and a"
    " whole song. No files, no loading from disk, nothing but the one program. velk wrote the"
    " little texture machine that paints the skin of FAT uncle BOB out of noise and numbers, "
    "and ostrun taught the cubes how to swing, bob and fly apart when you hit them. pimbo "
    "made the music on an old tracker, note by note, and trask tested every build until the "
    "mouse button was worn smooth and the coffee was gone. The evil cousins were first plain "
    "grey boxes; then somebody said they looked too friendly, so they got lights and a nasty "
    "habit of crumbling into nothing. FAT uncle BOB was supposed to be a small moon in the "
    "corner, but he kept growing every time we looked at him, and now he lights up the entire"
    " universe and refuses to move out of the way. We never found out why the score goes away"
    " all by itself, but we decided it was a feature: the cubes eat your fps and your points,"
    " so keep shooting and keep an eye on the number in the corner. Vexaroon is the name we "
    "gave ourselves when we were too tired to think of a better one, and it stuck. If you "
    "reach level ten, tell nobody, because nobody will believe you anyway ... Credits: code "
    "by velk and ostrun, music by pimbo, testing and moral support by trask, textures and "
    "meshes generated at load time by the Vexaroon texture machine ... Greetings fly out to "
    "everybody who ever stayed up too late to make a computer do something pointless and "
    "beautiful, to all the people in dezinhell who keep the cubes coming, to QUIBEL and the "
    "Anti Dezin GOD, to everyone who still remembers Quenthory, and of course to FAT uncle "
    "BOB himself, who never really died. Thanks for playing Korvastil, and remember: protect "
    "the uncle, kill the cousins, and never let your score fall below two hundred ... see you"
    " next stage!!";

const char VerseText[VerseLength + 1] =
    "Kuberna kommer, de snurrar och far, sma onda kusiner fran dezinhell kvar. De hoppar och "
    "gungar och lyser i natt, skjut dem i bitar, da blir det ratt. Och farbror BOB, han lyser"
    " sa gott, skydda hans ljus sa far du ditt hopp!";
