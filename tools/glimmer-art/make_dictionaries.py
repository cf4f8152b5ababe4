#!/usr/bin/env python3
"""Writes the pop-up library's 33 string dictionaries (XAML resource
dictionaries, UTF-8) and the resource script fragment that embeds them.

    tools/glimmer-art/make_dictionaries.py [OUTPUT_DIR]   (default libs/glimmer/resources)

Every dictionary holds the same thirteen keys. The English texts are the
product's own; the others are our translations.
"""

import os
import sys
from xml.sax.saxutils import escape

KEYS = [
    "FanModePerformance", "FanModeStandard", "FanModeWhisper",
    "StatusLightOn", "StatusLightAuto", "StatusLightOff",
    "PrivacyViewOn", "PrivacyViewOff",
    "ai_denoise_mic_on_single", "ai_denoise_mic_off", "ai_denoise_mic_on_multi",
    "ai_denoise_speaker_on", "ai_denoise_speaker_off",
]

ENGLISH = [
    "Performance mode", "Standard mode", "Whisper mode",
    "Status Light - On", "Status Light - Auto", "Status Light - Off",
    "Orvale Private View - On", "Orvale Private View - Off",
    "Single presenter conference call", "AI Noise-Canceling Mic Off", "Multi-presenter conference call",
    "AI Noise-Canceling Speaker On", "AI Noise-Canceling Speaker Off",
]


def texts(*values):
    assert len(values) == len(KEYS)
    return list(values)


DUTCH = texts(
    "Prestatiemodus", "Standaardmodus", "Fluistermodus",
    "Statuslampje - Aan", "Statuslampje - Automatisch", "Statuslampje - Uit",
    "Orvale Privéweergave - Aan", "Orvale Privéweergave - Uit",
    "Telefonische vergadering met één presentator", "AI-ruisonderdrukking microfoon uit",
    "Telefonische vergadering met meerdere presentatoren",
    "AI-ruisonderdrukking luidspreker aan", "AI-ruisonderdrukking luidspreker uit")


def partly(dutch_keys):
    """Dutch for the named keys, English for the rest."""
    return [DUTCH[i] if KEYS[i] in dutch_keys else ENGLISH[i] for i in range(len(KEYS))]


FAN_AND_LIGHT = {"FanModePerformance", "FanModeStandard", "FanModeWhisper",
                 "StatusLightOn", "StatusLightAuto", "StatusLightOff"}

# id: (file tag, language, texts)
DICTIONARIES = {
    180: ("ar", "Arabic", texts(
        "وضع الأداء", "الوضع القياسي", "الوضع الهادئ",
        "ضوء الحالة - تشغيل", "ضوء الحالة - تلقائي", "ضوء الحالة - إيقاف",
        "عرض Orvale الخاص - تشغيل", "عرض Orvale الخاص - إيقاف",
        "مكالمة جماعية بمقدّم واحد", "ميكروفون إلغاء الضوضاء بالذكاء الاصطناعي - إيقاف",
        "مكالمة جماعية بعدة مقدّمين",
        "مكبر صوت إلغاء الضوضاء بالذكاء الاصطناعي - تشغيل", "مكبر صوت إلغاء الضوضاء بالذكاء الاصطناعي - إيقاف")),
    181: ("cs", "Czech", texts(
        "Režim výkonu", "Standardní režim", "Tichý režim",
        "Stavová kontrolka - Zapnuto", "Stavová kontrolka - Automaticky", "Stavová kontrolka - Vypnuto",
        "Orvale Soukromé zobrazení - Zapnuto", "Orvale Soukromé zobrazení - Vypnuto",
        "Konferenční hovor s jedním řečníkem", "Mikrofon s potlačením šumu AI vypnut",
        "Konferenční hovor s více řečníky",
        "Reproduktor s potlačením šumu AI zapnut", "Reproduktor s potlačením šumu AI vypnut")),
    182: ("da", "Danish", texts(
        "Ydelsestilstand", "Standardtilstand", "Hvisketilstand",
        "Statuslys - Til", "Statuslys - Auto", "Statuslys - Fra",
        "Orvale Privat visning - Til", "Orvale Privat visning - Fra",
        "Konferenceopkald med én oplægsholder", "AI-støjreducerende mikrofon fra",
        "Konferenceopkald med flere oplægsholdere",
        "AI-støjreducerende højttaler til", "AI-støjreducerende højttaler fra")),
    183: ("nl-1", "Dutch (fan and light in Dutch, the rest in English)", partly(FAN_AND_LIGHT)),
    184: ("nl-2", "Dutch (all but the noise texts in Dutch)",
          partly(FAN_AND_LIGHT | {"PrivacyViewOn", "PrivacyViewOff"})),
    185: ("en-1", "English", None),
    186: ("en", "English", ENGLISH),
    187: ("fi", "Finnish", texts(
        "Suorituskykytila", "Vakiotila", "Hiljainen tila",
        "Tilan merkkivalo - Päällä", "Tilan merkkivalo - Automaattinen", "Tilan merkkivalo - Pois",
        "Orvale Yksityisnäkymä - Päällä", "Orvale Yksityisnäkymä - Pois",
        "Neuvottelupuhelu yhdellä esittäjällä", "Tekoälyn kohinanvaimennus: mikrofoni pois",
        "Neuvottelupuhelu usealla esittäjällä",
        "Tekoälyn kohinanvaimennus: kaiutin päällä", "Tekoälyn kohinanvaimennus: kaiutin pois")),
    188: ("fr", "French", texts(
        "Mode performance", "Mode standard", "Mode silencieux",
        "Voyant d'état - Activé", "Voyant d'état - Auto", "Voyant d'état - Désactivé",
        "Orvale Vue privée - Activée", "Orvale Vue privée - Désactivée",
        "Conférence avec un seul intervenant", "Micro à réduction de bruit IA désactivé",
        "Conférence avec plusieurs intervenants",
        "Haut-parleur à réduction de bruit IA activé", "Haut-parleur à réduction de bruit IA désactivé")),
    189: ("de", "German", texts(
        "Leistungsmodus", "Standardmodus", "Flüstermodus",
        "Statusleuchte - Ein", "Statusleuchte - Automatisch", "Statusleuchte - Aus",
        "Orvale Privatansicht - Ein", "Orvale Privatansicht - Aus",
        "Telefonkonferenz mit einem Vortragenden", "KI-Geräuschunterdrückung Mikrofon aus",
        "Telefonkonferenz mit mehreren Vortragenden",
        "KI-Geräuschunterdrückung Lautsprecher ein", "KI-Geräuschunterdrückung Lautsprecher aus")),
    190: ("el", "Greek", texts(
        "Λειτουργία απόδοσης", "Τυπική λειτουργία", "Αθόρυβη λειτουργία",
        "Ενδεικτική λυχνία κατάστασης - Ενεργή", "Ενδεικτική λυχνία κατάστασης - Αυτόματα",
        "Ενδεικτική λυχνία κατάστασης - Ανενεργή",
        "Orvale Ιδιωτική προβολή - Ενεργή", "Orvale Ιδιωτική προβολή - Ανενεργή",
        "Κλήση διάσκεψης με έναν παρουσιαστή", "Μικρόφωνο ακύρωσης θορύβου AI - Ανενεργό",
        "Κλήση διάσκεψης με πολλούς παρουσιαστές",
        "Ηχείο ακύρωσης θορύβου AI - Ενεργό", "Ηχείο ακύρωσης θορύβου AI - Ανενεργό")),
    191: ("he", "Hebrew", texts(
        "מצב ביצועים", "מצב רגיל", "מצב שקט",
        "נורית מצב - מופעלת", "נורית מצב - אוטומטית", "נורית מצב - כבויה",
        "תצוגה פרטית של Orvale - מופעלת", "תצוגה פרטית של Orvale - כבויה",
        "שיחת ועידה עם מציג יחיד", "מיקרופון עם סינון רעשים מבוסס AI - כבוי",
        "שיחת ועידה עם מספר מציגים",
        "רמקול עם סינון רעשים מבוסס AI - מופעל", "רמקול עם סינון רעשים מבוסס AI - כבוי")),
    192: ("hu", "Hungarian", texts(
        "Teljesítmény mód", "Normál mód", "Suttogó mód",
        "Állapotjelző fény - Be", "Állapotjelző fény - Automatikus", "Állapotjelző fény - Ki",
        "Orvale Privát nézet - Be", "Orvale Privát nézet - Ki",
        "Konferenciahívás egy előadóval", "MI-zajszűrős mikrofon - Ki",
        "Konferenciahívás több előadóval",
        "MI-zajszűrős hangszóró - Be", "MI-zajszűrős hangszóró - Ki")),
    193: ("id", "Indonesian", texts(
        "Mode performa", "Mode standar", "Mode senyap",
        "Lampu Status - Nyala", "Lampu Status - Otomatis", "Lampu Status - Mati",
        "Orvale Tampilan Pribadi - Nyala", "Orvale Tampilan Pribadi - Mati",
        "Panggilan konferensi satu presenter", "Mikrofon Peredam Bising AI Mati",
        "Panggilan konferensi banyak presenter",
        "Speaker Peredam Bising AI Nyala", "Speaker Peredam Bising AI Mati")),
    194: ("it", "Italian", texts(
        "Modalità prestazioni", "Modalità standard", "Modalità silenziosa",
        "Spia di stato - Attiva", "Spia di stato - Automatica", "Spia di stato - Disattivata",
        "Orvale Visualizzazione privata - Attiva", "Orvale Visualizzazione privata - Disattivata",
        "Chiamata in conferenza con un solo relatore", "Microfono con cancellazione del rumore IA disattivato",
        "Chiamata in conferenza con più relatori",
        "Altoparlante con cancellazione del rumore IA attivo",
        "Altoparlante con cancellazione del rumore IA disattivato")),
    195: ("ja", "Japanese", texts(
        "パフォーマンス モード", "標準モード", "静音モード",
        "ステータス ライト - オン", "ステータス ライト - 自動", "ステータス ライト - オフ",
        "Orvale プライベート ビュー - オン", "Orvale プライベート ビュー - オフ",
        "発表者が 1 人の電話会議", "AI ノイズ キャンセリング マイク - オフ",
        "発表者が複数の電話会議",
        "AI ノイズ キャンセリング スピーカー - オン", "AI ノイズ キャンセリング スピーカー - オフ")),
    196: ("ko", "Korean", texts(
        "성능 모드", "표준 모드", "저소음 모드",
        "상태 표시등 - 켜짐", "상태 표시등 - 자동", "상태 표시등 - 꺼짐",
        "Orvale 프라이빗 뷰 - 켜짐", "Orvale 프라이빗 뷰 - 꺼짐",
        "발표자 1명 전화 회의", "AI 소음 제거 마이크 꺼짐",
        "발표자 여러 명 전화 회의",
        "AI 소음 제거 스피커 켜짐", "AI 소음 제거 스피커 꺼짐")),
    197: ("es-419", "Latin-American Spanish", texts(
        "Modo de desempeño", "Modo estándar", "Modo silencioso",
        "Luz de estado - Encendida", "Luz de estado - Automática", "Luz de estado - Apagada",
        "Vista privada de Orvale - Encendida", "Vista privada de Orvale - Apagada",
        "Llamada de conferencia con un solo presentador", "Micrófono con cancelación de ruido por IA apagado",
        "Llamada de conferencia con varios presentadores",
        "Altavoz con cancelación de ruido por IA encendido", "Altavoz con cancelación de ruido por IA apagado")),
    198: ("nb", "Norwegian", texts(
        "Ytelsesmodus", "Standardmodus", "Hviskemodus",
        "Statuslys - På", "Statuslys - Auto", "Statuslys - Av",
        "Orvale Privat visning - På", "Orvale Privat visning - Av",
        "Konferansesamtale med én presentatør", "AI-støydempende mikrofon av",
        "Konferansesamtale med flere presentatører",
        "AI-støydempende høyttaler på", "AI-støydempende høyttaler av")),
    199: ("pl", "Polish", texts(
        "Tryb wydajności", "Tryb standardowy", "Tryb cichy",
        "Wskaźnik stanu - Wł.", "Wskaźnik stanu - Automatyczny", "Wskaźnik stanu - Wył.",
        "Orvale Widok prywatny - Wł.", "Orvale Widok prywatny - Wył.",
        "Połączenie konferencyjne z jednym prowadzącym", "Mikrofon z redukcją szumów AI wyłączony",
        "Połączenie konferencyjne z wieloma prowadzącymi",
        "Głośnik z redukcją szumów AI włączony", "Głośnik z redukcją szumów AI wyłączony")),
    200: ("pt-BR", "Brazilian Portuguese", texts(
        "Modo de desempenho", "Modo padrão", "Modo silencioso",
        "Luz de status - Ativada", "Luz de status - Automática", "Luz de status - Desativada",
        "Visualização privada Orvale - Ativada", "Visualização privada Orvale - Desativada",
        "Chamada em conferência com um apresentador", "Microfone com cancelamento de ruído por IA desativado",
        "Chamada em conferência com vários apresentadores",
        "Alto-falante com cancelamento de ruído por IA ativado",
        "Alto-falante com cancelamento de ruído por IA desativado")),
    201: ("pt", "Portuguese", texts(
        "Modo de desempenho", "Modo padrão", "Modo silencioso",
        "Luz de estado - Ligada", "Luz de estado - Automática", "Luz de estado - Desligada",
        "Vista privada Orvale - Ligada", "Vista privada Orvale - Desligada",
        "Chamada de conferência com um apresentador", "Microfone com cancelamento de ruído por IA desligado",
        "Chamada de conferência com vários apresentadores",
        "Altifalante com cancelamento de ruído por IA ligado",
        "Altifalante com cancelamento de ruído por IA desligado")),
    202: ("ro", "Romanian", texts(
        "Mod performanță", "Mod standard", "Mod silențios",
        "Indicator de stare - Pornit", "Indicator de stare - Automat", "Indicator de stare - Oprit",
        "Orvale Vizualizare privată - Pornită", "Orvale Vizualizare privată - Oprită",
        "Apel de conferință cu un singur prezentator", "Microfon cu anularea zgomotului AI oprit",
        "Apel de conferință cu mai mulți prezentatori",
        "Difuzor cu anularea zgomotului AI pornit", "Difuzor cu anularea zgomotului AI oprit")),
    203: ("ru", "Russian", texts(
        "Режим производительности", "Стандартный режим", "Тихий режим",
        "Индикатор состояния - Вкл.", "Индикатор состояния - Авто", "Индикатор состояния - Выкл.",
        "Конфиденциальный просмотр Orvale - Вкл.", "Конфиденциальный просмотр Orvale - Выкл.",
        "Конференц-связь с одним докладчиком", "ИИ-шумоподавление микрофона - Выкл.",
        "Конференц-связь с несколькими докладчиками",
        "ИИ-шумоподавление динамика - Вкл.", "ИИ-шумоподавление динамика - Выкл.")),
    204: ("zh-Hans", "Simplified Chinese", texts(
        "性能模式", "标准模式", "静音模式",
        "状态指示灯 - 开", "状态指示灯 - 自动", "状态指示灯 - 关",
        "Orvale 隐私视图 - 开", "Orvale 隐私视图 - 关",
        "单人演讲电话会议", "AI 降噪麦克风 - 关",
        "多人演讲电话会议",
        "AI 降噪扬声器 - 开", "AI 降噪扬声器 - 关")),
    205: ("sk", "Slovak", texts(
        "Režim výkonu", "Štandardný režim", "Tichý režim",
        "Stavové svetlo - Zapnuté", "Stavové svetlo - Automaticky", "Stavové svetlo - Vypnuté",
        "Orvale Súkromné zobrazenie - Zapnuté", "Orvale Súkromné zobrazenie - Vypnuté",
        "Konferenčný hovor s jedným prezentujúcim", "Mikrofón s potlačením hluku AI vypnutý",
        "Konferenčný hovor s viacerými prezentujúcimi",
        "Reproduktor s potlačením hluku AI zapnutý", "Reproduktor s potlačením hluku AI vypnutý")),
    206: ("es", "Spanish", texts(
        "Modo de rendimiento", "Modo estándar", "Modo silencioso",
        "Luz de estado - Activada", "Luz de estado - Automática", "Luz de estado - Desactivada",
        "Vista privada de Orvale - Activada", "Vista privada de Orvale - Desactivada",
        "Multiconferencia con un solo ponente", "Micrófono con cancelación de ruido por IA desactivado",
        "Multiconferencia con varios ponentes",
        "Altavoz con cancelación de ruido por IA activado", "Altavoz con cancelación de ruido por IA desactivado")),
    207: ("sv", "Swedish", texts(
        "Prestandaläge", "Standardläge", "Viskläge",
        "Statuslampa - På", "Statuslampa - Auto", "Statuslampa - Av",
        "Orvale Privat vy - På", "Orvale Privat vy - Av",
        "Konferenssamtal med en presentatör", "AI-brusreducerande mikrofon av",
        "Konferenssamtal med flera presentatörer",
        "AI-brusreducerande högtalare på", "AI-brusreducerande högtalare av")),
    208: ("th", "Thai", texts(
        "โหมดประสิทธิภาพ", "โหมดมาตรฐาน", "โหมดเงียบ",
        "ไฟสถานะ - เปิด", "ไฟสถานะ - อัตโนมัติ", "ไฟสถานะ - ปิด",
        "Orvale มุมมองส่วนตัว - เปิด", "Orvale มุมมองส่วนตัว - ปิด",
        "การประชุมทางโทรศัพท์ที่มีผู้นำเสนอคนเดียว", "ไมโครโฟนตัดเสียงรบกวนด้วย AI - ปิด",
        "การประชุมทางโทรศัพท์ที่มีผู้นำเสนอหลายคน",
        "ลำโพงตัดเสียงรบกวนด้วย AI - เปิด", "ลำโพงตัดเสียงรบกวนด้วย AI - ปิด")),
    209: ("zh-Hant", "Traditional Chinese", texts(
        "效能模式", "標準模式", "靜音模式",
        "狀態指示燈 - 開啟", "狀態指示燈 - 自動", "狀態指示燈 - 關閉",
        "Orvale 隱私檢視 - 開啟", "Orvale 隱私檢視 - 關閉",
        "單人簡報電話會議", "AI 降噪麥克風 - 關閉",
        "多人簡報電話會議",
        "AI 降噪喇叭 - 開啟", "AI 降噪喇叭 - 關閉")),
    210: ("tr", "Turkish", texts(
        "Performans modu", "Standart mod", "Sessiz mod",
        "Durum Işığı - Açık", "Durum Işığı - Otomatik", "Durum Işığı - Kapalı",
        "Orvale Gizli Görünüm - Açık", "Orvale Gizli Görünüm - Kapalı",
        "Tek sunuculu konferans görüşmesi", "Yapay zekâ gürültü önleyici mikrofon kapalı",
        "Çok sunuculu konferans görüşmesi",
        "Yapay zekâ gürültü önleyici hoparlör açık", "Yapay zekâ gürültü önleyici hoparlör kapalı")),
    211: ("uk", "Ukrainian", texts(
        "Режим продуктивності", "Стандартний режим", "Тихий режим",
        "Індикатор стану - Увімк.", "Індикатор стану - Авто", "Індикатор стану - Вимк.",
        "Конфіденційний перегляд Orvale - Увімк.", "Конфіденційний перегляд Orvale - Вимк.",
        "Конференц-дзвінок з одним доповідачем", "ШІ-шумозаглушення мікрофона - Вимк.",
        "Конференц-дзвінок з кількома доповідачами",
        "ШІ-шумозаглушення динаміка - Увімк.", "ШІ-шумозаглушення динаміка - Вимк.")),
    212: ("vi", "Vietnamese", texts(
        "Chế độ hiệu năng", "Chế độ tiêu chuẩn", "Chế độ yên lặng",
        "Đèn trạng thái - Bật", "Đèn trạng thái - Tự động", "Đèn trạng thái - Tắt",
        "Orvale Chế độ xem riêng tư - Bật", "Orvale Chế độ xem riêng tư - Tắt",
        "Cuộc gọi hội nghị một người thuyết trình", "Micrô khử tiếng ồn AI - Tắt",
        "Cuộc gọi hội nghị nhiều người thuyết trình",
        "Loa khử tiếng ồn AI - Bật", "Loa khử tiếng ồn AI - Tắt")),
}

HEADER = """<?xml version="1.0" encoding="utf-8"?>
<ResourceDictionary xmlns="http://schemas.microsoft.com/winfx/2006/xaml/presentation"
                    xmlns:x="http://schemas.microsoft.com/winfx/2006/xaml"
                    xmlns:system="clr-namespace:System;assembly=mscorlib">
"""


def document(pairs):
    body = "".join('    <system:String x:Key="%s">%s</system:String>\n' % (k, escape(t)) for k, t in pairs)
    return HEADER + body + "</ResourceDictionary>\n"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "libs", "glimmer", "resources")
    folder = os.path.join(out, "dictionaries")
    os.makedirs(folder, exist_ok=True)
    rc = ["// Generated by tools/glimmer-art/make_dictionaries.py: the string dictionaries",
          "// (custom resource type 256), one per language."]
    for rid in range(180, 213):
        tag, language, values = DICTIONARIES[rid]
        pairs = list(zip(KEYS, values if values is not None else ENGLISH))
        if values is None:
            # The second English dictionary lists the status light's Auto
            # text before its On text.
            pairs[3], pairs[4] = pairs[4], pairs[3]
        name = "%d-%s.xaml" % (rid, tag)
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(document(pairs))
        rc.append('%d 256 "dictionaries/%s"  // %s' % (rid, name, language))
    with open(os.path.join(out, "dictionaries.rc"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(rc) + "\n")
    print("wrote %d dictionaries" % len(DICTIONARIES))


if __name__ == "__main__":
    main()
