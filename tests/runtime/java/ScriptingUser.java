package rt.user;

import rt.scripting.*;

/** Drives Scripting.Dictionary and Scripting.FileSystemObject as a user would. */
public class ScriptingUser {
	public static void main( String[] args ) throws MivraException
	{
		Dictionary dictionary = new Dictionary();
		IDictionary dict = dictionary.getIDictionary();
		dict.Add( new MivraVariant( "key" ), new MivraVariant( 42 ));
		dict.Add( new MivraVariant( 2 ), new MivraVariant( 2.5 ));
		MivraVariant item = dict.getItem( new MivraVariant( "key" ));
		if ( item.getType() != item.VARIANT_INT || item.getInt() != 42 )
			throw new MivraException( "wrong item" );
		dict.setItem( new MivraVariant( "key" ), new MivraVariant( "Gr\u00fc\u00dfe" ));
		String text = dict.getItem( new MivraVariant( "key" )).getString();
		boolean there = dict.Exists( new MivraVariant( 2 ));
		int count = dict.getCount();

		Dictionary inner = new Dictionary();
		MivraVariant holder = new MivraVariant();
		holder.setMivraObject( inner.getIDictionary() );
		dict.Add( new MivraVariant( "inner" ), holder );
		MivraObject received = dict.getItem( new MivraVariant( "inner" )).getMivraObject();
		IDictionary again = new IDictionary( received );
		System.out.println( text + " " + there + " " + count + " " + again.getCount() );
		try {
			dict.Add( new MivraVariant( 2 ), new MivraVariant( 0 ));
		} catch ( MivraException e ) {
			System.out.println( e.getMessage() );
		}
		again.__release();
		dict.RemoveAll();

		FileSystemObject fso = new FileSystemObject();
		IFileSystem3 fs = fso.getIFileSystem3();
		String path = fs.BuildPath( "C:\\temp", "x.txt" );
		if ( fs.FileExists( path ))
			fs.DeleteFile( path, false );
		System.out.println( fs.GetBaseName( path ) + fs.GetTempName() );
		fso.__release();
		dictionary.__release();
	}
}
