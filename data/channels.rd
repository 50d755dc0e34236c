40	# number of channels in this list
Germany # countries are shown sorted in the radio window
Elbwelle Hamburg: music and news from Germany
1007
Elbwelle Hamburg
Germany
Radio Schwarzwaldtal: music and news from Germany
1014
Radio Schwarzwaldtal
Germany
Spreeklang 97,4: music and news from Germany
1021
Spreeklang 97,4
Germany
Rheinland Rhythmus: music and news from Germany
1028
Rheinland Rhythmus  # trailing blanks before a comment are dropped
Germany
Bergstraße Oldies: music and news from Germany
1035
Bergstraße Oldies
Germany
Ostseebrise: music and news from Germany
1042 # station number
Ostseebrise
France
Radio Lavande: music and news from France
1049
Radio Lavande
France
Seine Nocturne: music and news from France
1056
Seine Nocturne
France
Bretagne Marée: music and news from France
1063
Bretagne Marée
France
Cap Azur Musique: music and news from France
1070
Cap Azur Musique
France
Paris Pavé FM: music and news from France
1077
Paris Pavé FM
United States
KBLZ Desert Highway: music and news from United States
1084
KBLZ Desert Highway
United States
WQRT Lakeshore Classics: music and news from United States
1091
WQRT Lakeshore Classics
United States
Bayou Brass Radio: music and news from United States
1098
Bayou Brass Radio
United States
Cascadia Indie 90.9: music and news from United States
1105
Cascadia Indie 90.9
United States
Blues, roots rock and honky-tonk for the long drive, hosted from a roadside diner; request lines open every evening from six until midnight, local time.
1112
Route 9 Roadhouse
United States
Appalachian Porch: music and news from United States
1119
Appalachian Porch
Austria
Alpenwelle 94: music and news from Austria
1126
Alpenwelle 94
Austria
Donaukanal FM: music and news from Austria
1133
Donaukanal FM
Austria
Viennese waltzes, operetta and light classics around the clock, with the Sunday morning concert broadcast live from the old court theatre and a nightly hour of chamber music for late listeners.
1140
Radio Kaiserblick
Austria
Wachau Klassik: music and news from Austria
1147
Wachau Klassik
Austria
Tiroler Gipfelfunk: music and news from Austria
1154
Tiroler Gipfelfunk
Canada
Northern Pines 88.5: music and news from Canada
1161
Northern Pines 88.5
Canada
Maple Drift Radio: music and news from Canada
1168
Maple Drift Radio
Canada
Straight-ahead and modern jazz from the harbourfront studios: live sets from local clubs on Friday nights, interviews with touring musicians, and a Sunday brunch programme of vocal standards.
1175
Harbourfront Jazz
Canada
Prairie Sky Country: music and news from Canada
1182
Prairie Sky Country
Canada
Radio Fleuve-Bleu: music and news from Canada
1189
Radio Fleuve-Bleu
Canada
Yukon Aurora FM: music and news from Canada
1196
Yukon Aurora FM
Japan
J-pop, city pop and anime themes with bilingual hosts; the weekly countdown of the forty most requested songs airs every Saturday afternoon.
1203
Sakura Wave 81.3
Japan
Kobe Harbour Jazz: music and news from Japan
1210
Kobe Harbour Jazz
Japan
Radio Hokkaido Snow: music and news from Japan
1217
Radio Hokkaido Snow
Japan
Shinkansen Pop: music and news from Japan
1224
Shinkansen Pop
Brazil
Rio Maré FM: music and news from Brazil
1231
Rio Maré FM
Brazil
Samba Serra 101: music and news from Brazil
1238
Samba Serra 101
Brazil
Radio Cerrado Vivo: music and news from Brazil
1245
Radio Cerrado Vivo
Brazil
Bossa Litoral: music and news from Brazil
1252
Bossa Litoral
Ireland
Shannon Céilí Radio: music and news from Ireland
1259
Shannon Céilí Radio
Ireland
Atlantic Drift FM: music and news from Ireland
1266
Atlantic Drift FM
Ireland
Liffey Lights: music and news from Ireland
1273
Liffey Lights
Ireland
Kerry Hills Trad: music and news from Ireland
1280
Kerry Hills Trad
