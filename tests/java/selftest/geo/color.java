import kelvaro.ZELT.*;

public class  color  extends XDTint {
	public static final int RED = 0;
	public static final int GREEN = 5;
	public static final int BLUE = 5 + 1;

	public XDT Clone() { return new color();}

	public XDT [] getArray(int len) { return new color[len];}

};
