#include "lyrics/markup/EntityTable.h"

namespace EntityTable {
namespace {

constexpr int kBuckets = 130;

// Bucket = sum of the name's bytes mod 130. Each record: one digit of name length, four digits of
// code point and the name, as in "30038amp30174reg". Within a bucket, records run by code point,
// except that the capitalised twin of a name comes right before its lower-case one.
constexpr const char* kTable[kBuckets] = {
    "60216oslash60248oslash60217ugrave60249ugrave",
    "60221yacute60253yacute50937omega50969omega58968lceil",
    "50206icirc50238icirc50916delta50948delta68472weierp",
    "40185sup1",
    "40178sup268970lfloor",
    "60164curren40179sup350922kappa50954kappa58212mdash",
    "58211ndash59830diams",
    "68855otimes58969rceil",
    "50212ocirc50244ocirc50338oelig50339oelig58482trade",
    "50197aring50229aring50931sigma50963sigma",
    "50180acute50732tilde68971rfloor",
    "68249lsaquo",
    "68201thinsp58734infin",
    "50161iexcl",
    "50219ucirc50251ucirc50920theta50952theta",
    "58254oline",
    "58260frasl68727lowast",
    "60191iquest68250rsaquo59827clubs",
    "50181micro58629crarr",
    "58222bdquo",
    "",
    "60177plusmn58243prime58242prime",
    "40914beta40946beta",
    "",
    "",
    "",
    "50171laquo50215times",
    "40710circ",
    "49001lang",
    "40175macr58220ldquo",
    "50163pound40182para48476real",
    "",
    "50187raquo58713notin",
    "50223szlig50978upsih48773cong",
    "58218sbquo58776asymp58801equiv49002rang",
    "50222thorn50254thorn40402fnof58221rdquo48659darr48595darr",
    "40162cent58722minus",
    "40170ordf58707exist",
    "",
    "40921iota40953iota48660harr48596harr58709empty",
    "",
    "40167sect40196auml40228auml48226bull48838sube",
    "",
    "48656larr48592larr58853oplus",
    "30176deg40186ordm58216lsquo",
    "40039apos40160nbsp40203euml40235euml48712isin",
    "40918zeta40950zeta",
    "48195emsp48719prod38743and",
    "30935chi30967chi48194ensp38745cap",
    "40207iuml40239iuml48658rarr48594rarr48706part48869perp",
    "58217rsquo38736ang48836nsub",
    "",
    "48657uarr48593uarr48901sdot",
    "40169copy48364euro",
    "30919eta30951eta",
    "40214ouml40246ouml48839supe",
    "",
    "",
    "30038amp30174reg",
    "48733prop",
    "",
    "30208eth30240eth40220uuml40252uuml30934phi30966phi",
    "",
    "",
    "",
    "40376yuml40255yuml",
    "",
    "40034quot48204zwnj",
    "38746cup68756there4",
    "30929rho30961rho38764sim",
    "30932tau30964tau38834sub",
    "38206lrm38207rlm38747int",
    "30165yen30936psi30968psi",
    "",
    "30168uml28805ge",
    "30982piv",
    "",
    "30172not",
    "",
    "28804le",
    "30173shy",
    "38721sum28800ne39674loz",
    "",
    "",
    "38835sup",
    "28715ni",
    "",
    "20928pi20960pi38205zwj",
    "",
    "20062gt60923lambda60955lambda",
    "",
    "",
    "60199ccedil60231ccedil",
    "",
    "20060lt",
    "20926xi20958xi28744or",
    "20924mu20956mu",
    "20925nu20957nu",
    "68225dagger68224dagger",
    "80977thetasym",
    "",
    "",
    "",
    "78501alefsym",
    "",
    "",
    "",
    "60193aacute60225aacute60195atilde60227atilde",
    "",
    "60247divide70927omicron70959omicron",
    "60192agrave60224agrave",
    "60201eacute60233eacute60962sigmaf",
    "70917epsilon70949epsilon",
    "",
    "60200egrave60232egrave",
    "60205iacute60237iacute",
    "",
    "",
    "60204igrave60236igrave68230hellip",
    "60166brvbar",
    "60209ntilde60241ntilde68704forall58711nabla69824spades",
    "60183middot60189frac1260211oacute60243oacute60213otilde60245otilde",
    "",
    "50184cedil60188frac14",
    "50194acirc50226acirc50198aelig50230aelig60210ograve60242ograve",
    "60190frac3450915gamma50947gamma58465image58730radic",
    "60352scaron60353scaron",
    "60218uacute60250uacute69829hearts",
    "50202ecirc50234ecirc50913alpha50945alpha70933upsilon70965upsilon",
    "68240permil",
};

} // namespace

int Lookup(std::string_view lowerName) {
    if (lowerName.empty() || lowerName.size() > 9)
        return 0;
    unsigned sum = 0;
    for (unsigned char c : lowerName)
        sum += c;
    std::string_view bucket = kTable[sum % kBuckets];
    while (bucket.size() >= 5) {
        size_t len = static_cast<size_t>(bucket[0] - '0');
        int codePoint = 0;
        for (int k = 1; k <= 4; ++k)
            codePoint = codePoint * 10 + (bucket[k] - '0');
        if (bucket.size() < 5 + len)
            break;
        if (bucket.substr(5, len) == lowerName)
            return codePoint;
        bucket.remove_prefix(5 + len);
    }
    return 0;
}

} // namespace EntityTable
