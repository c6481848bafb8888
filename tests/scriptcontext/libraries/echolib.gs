// The script of the test library assets: it keeps a soup of properties
// and counts, in its tag "sets", how often the program handed it some,
// and in "clicks" the clicks on its system-menu icon.
include "Vandru.gs"
include "Library.gs"
include "Constructors.gs"

class EchoLib isclass Library {
  Soup props;
  int sets = 0;

  public void Init(Asset self) {
    inherited(self);
    props = ConstructorsBase.NewSoup();
    AddHandler(me, "Interface", "ClickSystemButton", "OnClick");
  }
  void OnClick(Message msg) {
    props.SetNamedTag("clicks", props.GetNamedTagAsInt("clicks", 0) + 1);
  }
  public Soup GetProperties() { return props; }
  public void SetProperties(Soup soup) {
    sets = sets + 1;
    props.Copy(soup);
    props.SetNamedTag("sets", sets);
  }
};
