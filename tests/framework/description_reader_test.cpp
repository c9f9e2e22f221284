#include "framework/description_reader.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "framework/enum_names.h"
#include "framework/exceptions.h"
#include "framework/forms.h"
#include "framework/std_controls.h"

namespace qvtest {

using namespace qv;

enum TTestMode : int32_t { tmOne, tmTwo, tmThree };
enum TTestFlags : uint32_t {};
using TValueEvent = std::function<void(TComponent* Sender, int Value)>;

std::vector<std::string> gLog; // Loaded calls and observations, in order
int gLive = 0;                 // things alive

class TTestInner : public QObject {
    Q_OBJECT
    Q_PROPERTY(int32_t Depth READ Depth WRITE SetDepth)
    Q_PROPERTY(qv::TColor Shade READ Shade WRITE SetShade)
public:
    int32_t Depth() const { return FDepth; }
    void SetDepth(int32_t v) { FDepth = v; }
    TColor Shade() const { return FShade; }
    void SetShade(TColor v) { FShade = v; }

private:
    int32_t FDepth = 0;
    TColor FShade = clBlack;
};

class TTestThing : public QObject, public TComponent {
    Q_OBJECT
    Q_PROPERTY(int32_t Count READ Count WRITE SetCount)
    Q_PROPERTY(uint32_t Mask READ Mask WRITE SetMask)
    Q_PROPERTY(int16_t Small READ Small WRITE SetSmall)
    Q_PROPERTY(bool Flag READ Flag WRITE SetFlag)
    Q_PROPERTY(double Ratio READ Ratio WRITE SetRatio)
    Q_PROPERTY(float Gain READ Gain WRITE SetGain)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(std::string Label READ Label WRITE SetLabel)
    Q_PROPERTY(QStringList Items READ Items WRITE SetItems)
    Q_PROPERTY(QByteArray Data READ Data WRITE SetData)
    Q_PROPERTY(qv::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(qvtest::TTestMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(qvtest::TTestFlags Flags READ Flags WRITE SetFlags)
    Q_PROPERTY(qvtest::TTestThing* Link READ Link WRITE SetLink)
    Q_PROPERTY(qvtest::TTestInner* Inner READ Inner)
    Q_PROPERTY(int32_t Fixed READ Fixed)
public:
    explicit TTestThing(TComponent* owner = nullptr) : TComponent(owner) { ++gLive; }
    ~TTestThing() override { --gLive; }
    QObject* AsQObject() override { return this; }

    int32_t Count() const { return FCount; }
    void SetCount(int32_t v)
    {
        if (v < 0)
            throw Exception("Count must not be negative");
        FCount = v;
        if (IsReading())
            gLog.push_back(Name() + " reading");
    }
    uint32_t Mask() const { return FMask; }
    void SetMask(uint32_t v) { FMask = v; }
    int16_t Small() const { return FSmall; }
    void SetSmall(int16_t v) { FSmall = v; }
    bool Flag() const { return FFlag; }
    void SetFlag(bool v) { FFlag = v; }
    double Ratio() const { return FRatio; }
    void SetRatio(double v) { FRatio = v; }
    float Gain() const { return FGain; }
    void SetGain(float v) { FGain = v; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& v) { FCaption = v; }
    std::string Label() const { return FLabel; }
    void SetLabel(const std::string& v) { FLabel = v; }
    QStringList Items() const { return FItems; }
    void SetItems(const QStringList& v) { FItems = v; }
    QByteArray Data() const { return FData; }
    void SetData(const QByteArray& v) { FData = v; }
    TColor Color() const { return FColor; }
    void SetColor(TColor v) { FColor = v; }
    TTestMode Mode() const { return FMode; }
    void SetMode(TTestMode v) { FMode = v; }
    TTestFlags Flags() const { return FFlags; }
    void SetFlags(TTestFlags v) { FFlags = v; }
    TTestThing* Link() const { return FLink; }
    void SetLink(TTestThing* v) { FLink = v; }
    TTestInner* Inner() { return &FInner; }
    int32_t Fixed() const { return 7; }

    std::function<void(TComponent*)> OnPing;
    TValueEvent OnValue;
    bool SetEvent(const std::string& name, const std::any& h) override
    {
        if (name == "OnPing")
            return AssignEvent(OnPing, h);
        if (name == "OnValue")
            return AssignEvent(OnValue, h);
        return TComponent::SetEvent(name, h);
    }
    void Loaded() override
    {
        TComponent::Loaded();
        gLog.push_back(Name() + " loaded" + (IsReading() ? " reading" : "") +
                       (FLink ? " link=" + FLink->Name() : ""));
    }

private:
    int32_t FCount = 0;
    uint32_t FMask = 0;
    int16_t FSmall = 0;
    bool FFlag = false;
    double FRatio = 0;
    float FGain = 0;
    QString FCaption;
    std::string FLabel;
    QStringList FItems;
    QByteArray FData;
    TColor FColor = clBlack;
    TTestMode FMode = tmOne;
    TTestFlags FFlags = static_cast<TTestFlags>(0);
    TTestThing* FLink = nullptr;
    TTestInner FInner;
};

// A root that offers methods by name, as a form does.
class TTestRoot : public TTestThing {
    Q_OBJECT
public:
    TTestRoot()
    {
        FMethods["Pinged"] = std::any(std::function<void(TComponent*)>([this](TComponent* s) {
            pings.push_back(s->Name());
        }));
        FMethods["GotValue"] = std::any(TValueEvent([this](TComponent*, int v) { values.push_back(v); }));
    }
    void Read(const std::string& text)
    {
        ReadDescription(this, text, [this](const std::string& n) -> const std::any* {
            auto it = FMethods.find(n);
            return it == FMethods.end() ? nullptr : &it->second;
        });
    }
    std::vector<std::string> pings;
    std::vector<int> values;

private:
    std::map<std::string, std::any> FMethods;
};

void Register()
{
    TEnumNames::Register<TTestMode>({"tmOne", "tmTwo", "tmThree"});
    TEnumNames::Register<TTestFlags>({"tfRed", "tfGreen", "tfBlue"});
    TComponentRegistry::Register("TTestThing", [](TComponent* o) { return new TTestThing(o); });
    RegisterFrameworkComponents();
}

} // namespace qvtest

using namespace qv;
using namespace qvtest;

namespace {

std::string ReadError(const std::string& text)
{
    TTestRoot root;
    try {
        root.Read(text);
    } catch (const EReadError& e) {
        EXPECT_EQ(root.ComponentCount(), 0) << "components left after: " << e.what();
        EXPECT_FALSE(root.IsLoading());
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(DescriptionReader, SetsEveryKindOfProperty)
{
    Register();
    TTestRoot root;
    root.Read(R"(# every kind of value
object Root: TTestRoot
  Count = 42
  object A: TTestThing
    Count = 7
    Mask = $FFFFFFFF
    Small = -32768
    Flag = True
    Ratio = 0.25
    Gain = 3
    Caption = "say \"hi\"\tthere\\\x41"
    Label = "ünïcode"
    Items = ("8000",
             "11025", "")
    Data = {
      00 0a FF
      7f
    }
    Color = clBtnFace
    Mode = tmThree
    Flags = [tfRed, tfBlue]
    Inner.Depth = 3
    Inner.Shade = $0000FF
  end
  object B: TTestThing    # trailing comment
    Color = 8421504
    Flags = []
    Items = "single"
    Mode = tmTwo
  end
end
)");
    EXPECT_EQ(root.Name(), "Root");
    EXPECT_EQ(root.Count(), 42);
    auto* a = dynamic_cast<TTestThing*>(root.FindComponent("A"));
    auto* b = dynamic_cast<TTestThing*>(root.FindComponent("B"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Count(), 7);
    EXPECT_EQ(a->Mask(), 0xFFFFFFFFu);
    EXPECT_EQ(a->Small(), -32768);
    EXPECT_TRUE(a->Flag());
    EXPECT_DOUBLE_EQ(a->Ratio(), 0.25);
    EXPECT_FLOAT_EQ(a->Gain(), 3.0f);
    EXPECT_EQ(a->Caption(), QStringLiteral("say \"hi\"\tthere\\A"));
    EXPECT_EQ(a->Label(), "ünïcode");
    EXPECT_EQ(a->Items(), (QStringList{"8000", "11025", ""}));
    EXPECT_EQ(a->Data(), QByteArray("\x00\x0a\xff\x7f", 4));
    EXPECT_EQ(a->Color(), clBtnFace);
    EXPECT_EQ(static_cast<uint32_t>(a->Color()), 0x8000000Fu);
    EXPECT_EQ(a->Mode(), tmThree);
    EXPECT_EQ(static_cast<uint32_t>(a->Flags()), 0b101u);
    EXPECT_EQ(a->Inner()->Depth(), 3);
    EXPECT_EQ(a->Inner()->Shade(), clRed);
    EXPECT_EQ(b->Color(), clGray);
    EXPECT_EQ(static_cast<uint32_t>(b->Flags()), 0u);
    EXPECT_EQ(b->Items(), QStringList{"single"});
    EXPECT_EQ(b->Mode(), tmTwo);
    EXPECT_EQ(a->objectName(), QStringLiteral("A"));
}

TEST(DescriptionReader, ReferencesResolveAfterCreationAndLoadedRunsInCreationOrder)
{
    Register();
    gLog.clear();
    TTestRoot root;
    root.Read(R"(object Root: TTestRoot
  Link = C
  object A: TTestThing
    Count = 1
    Link = C
    object B: TTestThing
      Link = Root
    end
  end
  object C: TTestThing
    Link = nil
    OnPing = Pinged
    OnValue = GotValue
  end
end
)");
    auto* a = dynamic_cast<TTestThing*>(root.FindComponent("A"));
    auto* b = dynamic_cast<TTestThing*>(root.FindComponent("B"));
    auto* c = dynamic_cast<TTestThing*>(root.FindComponent("C"));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(b->Owner(), &root); // every component belongs to the root
    EXPECT_EQ(root.Link(), c);
    EXPECT_EQ(a->Link(), c);
    EXPECT_EQ(b->Link(), &root);
    EXPECT_EQ(c->Link(), nullptr);
    // Properties are set while reading; Loaded comes after every link, reading over.
    const std::vector<std::string> expected{"A reading", "Root loaded link=C", "A loaded link=C",
                                            "B loaded link=Root", "C loaded"};
    EXPECT_EQ(gLog, expected);
    for (TComponent* x : {static_cast<TComponent*>(&root), static_cast<TComponent*>(a), static_cast<TComponent*>(c)})
        EXPECT_FALSE(x->IsLoading() || x->IsReading());
    ASSERT_TRUE(c->OnPing && c->OnValue);
    c->OnPing(c);
    c->OnValue(c, 5);
    EXPECT_EQ(root.pings, std::vector<std::string>{"C"});
    EXPECT_EQ(root.values, std::vector<int>{5});
}

TEST(DescriptionReader, BadInputNamesLineAndProblemAndLeavesNothingBehind)
{
    Register();
    const int live = gLive;
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"", "line 1: the description is empty"},
        {"object Root: TTestRoot\n  object X: TNoSuchClass\n  end\nend\n", "line 2: unknown class 'TNoSuchClass'"},
        {"object Root: TTestRoot\n  object A: TTestThing\n    Foo = 1\n  end\nend\n",
         "line 3: unknown property 'Foo' of TTestThing"},
        {"object Root: TTestRoot\n  Inner.Nope = 1\nend\n", "line 2: unknown property 'Inner.Nope' of TTestRoot"},
        {"object Root: TTestRoot\n  Count.Depth = 1\nend\n",
         "line 2: property 'Count' of TTestRoot has no sub-properties"},
        {"object Root: TTestRoot\n  Mode = tmFour\nend\n",
         "line 2: 'tmFour' is not a value of qvtest::TTestMode for property 'Mode' of TTestRoot"},
        {"object Root: TTestRoot\n  Flags = [tfRed, tfPink]\nend\n",
         "line 2: 'tfPink' is not an element of qvtest::TTestFlags for property 'Flags' of TTestRoot"},
        {"object Root: TTestRoot\n  Color = clPlaid\nend\n",
         "line 2: unknown colour 'clPlaid' for property 'Color' of TTestRoot"},
        {"object Root: TTestRoot\n  Count = \"many\"\nend\n",
         "line 2: property 'Count' of TTestRoot needs an integer, not string \"many\""},
        {"object Root: TTestRoot\n  Count = tmOne\nend\n",
         "line 2: property 'Count' of TTestRoot needs an integer, not 'tmOne'"},
        {"object Root: TTestRoot\n  Flag = 1\nend\n",
         "line 2: property 'Flag' of TTestRoot needs True or False, not integer 1"},
        {"object Root: TTestRoot\n  Small = 70000\nend\n",
         "line 2: value 70000 out of range for property 'Small' of TTestRoot"},
        {"object Root: TTestRoot\n  Mask = -1\nend\n",
         "line 2: value -1 out of range for property 'Mask' of TTestRoot"},
        {"object Root: TTestRoot\n  Fixed = 3\nend\n", "line 2: property 'Fixed' of TTestRoot is read-only"},
        {"object Root: TTestRoot\n  Count = -3\nend\n",
         "line 2: cannot set 'Count' of TTestRoot: Count must not be negative"},
        {"object Root: TTestRoot\n  object A: TTestThing\n    Link = Ghost\n  end\nend\n",
         "line 3: unknown component 'Ghost' for property 'Link' of TTestThing"},
        {"object Root: TTestRoot\n  object A: TTestThing\n    OnPing = Nobody\n  end\nend\n",
         "line 3: unknown method 'Nobody' for event 'OnPing' of TTestThing"},
        {"object Root: TTestRoot\n  object A: TTestThing\n    OnPing = GotValue\n  end\nend\n",
         "line 3: unknown event 'OnPing' of TTestThing, or method 'GotValue' does not fit it"},
        {"object Root: TTestRoot\n  object A: TTestThing\n  end\n  object A: TTestThing\n  end\nend\n",
         "line 4: duplicate component name 'A'"},
        {"object Root: TOtherRoot\nend\n", "line 1: the description is of class 'TOtherRoot', not 'TTestRoot'"},
        {"object Root: TTestRoot\n  object A: TTestThing\n  end\n", "line 4: 'end' of object 'Root' (line 1) missing"},
        {"object Root: TTestRoot\n  Count 5\nend\n", "line 2: '=' expected after property name 'Count'"},
        {"object Root: TTestRoot\n  Caption = \"open\nend\n", "line 2: unterminated string"},
        {"object Root: TTestRoot\n  Data = {\n  0A1\n  }\nend\n", "line 2: odd number of hex digits in binary data"},
        {"object Root: TTestRoot\n  Data = {0G}\nend\n",
         "line 2: unexpected 'G' in binary data (hex digits expected)"},
        {"object Root: TTestRoot\nend\nend\n", "line 3: text after the final 'end'"},
        {"object Root: TTestRoot\n  Count = 5 6\nend\n", "line 2: unexpected '6' after the value of 'Count'"},
        {"object Root: TTestRoot\n  Count = 12abc\nend\n", "line 2: malformed number '12a'"},
        {"object Root: TTestRoot\n  Count = 1\n  Count = 2\nend\n", "line 3: property 'Count' is set twice"},
        {"object Root: TTestRoot\n  object A: TTestThing\n  end\n  Count = 2\nend\n",
         "line 4: property 'Count' after a nested object: properties come first"},
        {"object Root TTestRoot\nend\n", "line 1: ':' expected after component name 'Root'"},
        {"object Root: TTestRoot\n  Caption = \"\\q\"\nend\n", "line 2: unknown escape '\\q' in string"},
        {"object Root: TTestRoot\n  Count = 99999999999999999999\nend\n", "line 2: number out of range"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadError(c.text), c.message) << c.text;
    // A failure late in the read (a bad reference after several components)
    // frees everything that was created.
    EXPECT_EQ(ReadError("object Root: TTestRoot\n  object A: TTestThing\n    object B: TTestThing\n"
                        "    end\n  end\n  object C: TTestThing\n    Link = D\n  end\nend\n"),
              "line 7: unknown component 'D' for property 'Link' of TTestThing");
    EXPECT_EQ(gLive, live);
}

TEST(DescriptionReader, ReferenceMustFitThePropertyType)
{
    Register();
    EXPECT_EQ(ReadError("object Root: TTestRoot\n  Link = P\n  object P: TPanel\n  end\nend\n"),
              "line 2: component 'P' (TPanel) does not fit property 'Link' of TTestRoot (needs qvtest::TTestThing)");
}

namespace qvtest {

// A form whose description places controls inside each other.
class TTestForm : public TForm {
    Q_OBJECT
public:
    TTestForm()
    {
        DefineMethod("PanelClick", TNotifyEvent([this](TComponent* s) { clicks.push_back(s->Name()); }));
    }
    using TForm::ReadDescription;
    std::vector<std::string> clicks;
};

} // namespace qvtest

TEST(DescriptionReader, ControlsSitOnTheirEnclosingControlAndAlign)
{
    Register();
    TTestForm form;
    form.ReadDescription(R"(object Form1: TTestForm
  ClientWidth = 300
  ClientHeight = 200
  Caption = "Test window"
  Color = clBtnFace
  Font.Name = "Arial"
  Font.Style = [fsBold]
  object Top1: TPanel
    Align = alTop
    Height = 15
    Color = clBlack
    BevelOuter = bvNone
    OnClick = PanelClick
    object Lbl: TLabel
      Left = 48
      Caption = "Fd="
      Font.Color = clGray
    end
  end
  object Rest: TPanel
    Align = alClient
    BevelOuter = bvLowered
    BorderWidth = 2
    object Inner: TPanel
      Align = alClient
    end
  end
end
)");
    auto* top = dynamic_cast<TPanel*>(form.FindComponent("Top1"));
    auto* rest = dynamic_cast<TPanel*>(form.FindComponent("Rest"));
    auto* inner = dynamic_cast<TPanel*>(form.FindComponent("Inner"));
    auto* lbl = dynamic_cast<TLabel*>(form.FindComponent("Lbl"));
    ASSERT_TRUE(top && rest && inner && lbl);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Test window"));
    EXPECT_EQ(top->Parent(), &form);
    EXPECT_EQ(lbl->Parent(), top);
    EXPECT_EQ(top->BoundsRect(), Bounds(0, 0, 300, 15));
    EXPECT_EQ(rest->BoundsRect(), Bounds(0, 15, 300, 185));
    // Inside a lowered bevel of 1 and a border of 2.
    EXPECT_EQ(inner->BoundsRect(), Bounds(3, 3, 294, 179));
    // The label follows the panel's colour and the form's font, with its own colour.
    EXPECT_EQ(lbl->Color(), clBlack);
    EXPECT_EQ(lbl->Font()->Name(), QStringLiteral("Arial"));
    EXPECT_EQ(lbl->Font()->Color(), clGray);
    EXPECT_TRUE(HasStyle(lbl->Font()->Style(), fsBold));
    EXPECT_EQ(lbl->Left(), 48);
    EXPECT_GT(lbl->Width(), 0); // sized to "Fd="
    ASSERT_TRUE(top->OnClick);
    top->OnClick(top);
    EXPECT_EQ(form.clicks, std::vector<std::string>{"Top1"});
}

#include "description_reader_test.moc"
